#pragma once
// The import run: "Start Importing" over the whole URL list.

#include <string>

#include "base/window_services.h"
#include "import/port/spreadsheet.h"

namespace qf {

// The import run's statements, which its error reports number. Those its
// spreadsheet makes are in import/port/statements.h.
namespace run_statement {
inline constexpr int kListEmpty = 100;  // the test that jumps to kNoFilesAdded
inline constexpr int kWarnIfSpreadsheetOpen = 102;
inline constexpr int kBusyAtStart = 108;
inline constexpr int kSheetPerSiteAtStart = 118;  // then keepFirstSheetOnly
inline constexpr int kCountEntries = 130;
inline constexpr int kYieldBeforeEntry = 132;
inline constexpr int kCheckListEnd = 134;
inline constexpr int kReadEntry = 136;
inline constexpr int kTellEntryStarted = 138;
inline constexpr int kYieldAfterStart = 140;
inline constexpr int kBusyForImport = 148;
inline constexpr int kImportEntry = 150;
inline constexpr int kNoteUnreadable = 152;
inline constexpr int kSheetPerSiteAfterEntry = 154;
inline constexpr int kAddSheet = 156;
inline constexpr int kBusyAfterEntry = 158;
inline constexpr int kSheetPerSiteAtEnd = 162;
inline constexpr int kDeleteEmptySheet = 164;
inline constexpr int kNotBusy = 176;
inline constexpr int kTellRunFinished = 178;
inline constexpr int kAnyUnreadable = 182;
inline constexpr int kListUnreadable = 184;
inline constexpr int kClosingBox = 186;
inline constexpr int kNoFilesAdded = 188;
}  // namespace run_statement

// Where a run's error reports say they come from: the run's own statements
// and those of the web import of each entry. The program's window names them.
struct RunLocations {
    std::string run;
    std::string webImport;
};

// What a run did, told once at its end.
struct RunSummary {
    // The path of the workbook file the spreadsheet wrote; empty when the
    // spreadsheet shows the workbook itself, or when it could not be written.
    std::string workbook;
    int count = 0;               // the entries the run set out to import (as many as the list had)
    int unreadable = 0;          // the entries whose page could not be read
    int sheetsAddedForRoom = 0;  // sheets added for pages that did not fit in the rows left
    // What the spreadsheet says of how the run's pages were read (pages built by
    // scripts that no browser rendered), a line each.
    std::vector<std::string> notes;
    bool stopped = false;  // asked to stop before the end of the list
    int stoppedAfter = 0;  // then: the last entry taken in hand
};

// What the run needs of its host (the main window, or the command line): the
// list and the options as they are now, and an ear for what the run does. The
// host turns the events into what its user sees.
class ImportRunHost {
public:
    virtual ~ImportRunHost() = default;

    virtual int entryCount() const = 0;
    virtual std::string entryText(int position) const = 0;  // 1-based, UTF-8
    virtual SheetMode sheetMode() const = 0;                // as chosen now
    // Asked after each entry: true stops the run after the entry in hand; the
    // run still writes and shows what it imported.
    virtual bool stopRequested() const { return false; }
    // The program is ending: a run that stops for it writes what it imported and
    // shows no closing box.
    virtual bool closing() const { return false; }
    // Whether the run ends with its closing box ("Done." and what it could not
    // read); a host that has told its user all of it in its own words (the
    // command line) shows none.
    virtual bool showsClosingBox() const { return true; }

    // Entry number (1-based) is taken in hand: the list has count entries now;
    // entry is its text as the list holds it.
    virtual void entryStarted(int number, int count, const std::string& entry) = 0;
    // The spreadsheet tells how the page of an entry was read (a column that
    // does not fit a forced locale).
    virtual void entryNote(int /*number*/, const std::string& /*entry*/, const std::string& /*note*/) {}
    // The page of an entry could not be read, for the reason the spreadsheet gave.
    virtual void entryFailed(int /*number*/, const std::string& /*entry*/, const std::string& /*reason*/) {}
    // The spreadsheet has written the workbook to the file at path, before the
    // run leaves its busy state: the host shows it to its user, and tells
    // whether it could. The closing box names the file either way.
    virtual bool workbookWritten(const std::string& /*path*/) { return true; }
    // The run is over (its closing box, if any, still to come).
    virtual void runFinished(const RunSummary& summary) = 0;
};

// The import run behind "Start Importing": every entry of the list into a new
// workbook, one sheet for all or a sheet per entry.
// Runs on the window's thread; where a page is awaited, the window's events
// keep being processed.
void runImport(ImportRunHost& host, WindowServices& ui, Spreadsheet& spreadsheet, const RunLocations& locations);

}  // namespace qf
