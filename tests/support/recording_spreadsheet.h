#pragma once
// The one spreadsheet stand-in of the tests: the import's spreadsheet port,
// recording every step that reaches it, one line a step, and keeping a small
// model of each run's workbook (its sheets in order, the addresses imported
// onto each, newest first). Steps can be told to fail, pages to be unreadable.
//
//     "newWorkbook", "startWorkbook", "keepFirstSheetOnly", "importPage http://www.a.org",
//     "addSheetAfterLast", "deleteActiveSheet", "finish", "expect 1:http://www.a.org 2:http://www.b.org"

#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "import/port/spreadsheet.h"

namespace qf::testing {

struct RecordedSheet {
    std::string name;
    std::vector<std::string> pages;  // addresses imported at A1, newest first
};

struct RecordedWorkbook {
    bool started = false;
    std::vector<RecordedSheet> sheets;
    std::size_t active = 0;
    bool finished = false;
    std::vector<std::string> names() const;
    const RecordedSheet& sheet(const std::string& name) const;
};

class RecordingSpreadsheet : public Spreadsheet {
public:
    // How it is found on this machine.
    bool starts = true;
    bool running = false;
    // How a new workbook starts.
    int startingSheets = 3;
    // Whether a page can be read; an unreadable one gives "Unable to open <address>.".
    std::function<bool(const std::string& address)> pageLoads = [](const std::string&) { return true; };
    // Steps that fail (by the step's name, as logged), with the description they fail with.
    std::map<std::string, std::string> failures;
    // What finish gives: the workbook's path (empty: none, as the installed application).
    std::string finishedPath = "/documents/Book1.xlsx";
    // What sheetsAddedForRoom gives.
    int sheetsAddedForRoom = 0;
    // What the workbooks say at the end of a run about how pages were read.
    std::vector<std::string> notes;
    // Read-ahead offered with this depth; none when unset.
    std::optional<std::size_t> readAheadDepth;
    std::function<void()> waitHook;  // the run's, while it reads ahead

    bool canStart() override;
    bool instanceRunning() override;
    std::unique_ptr<NewWorkbook> newWorkbook() override;

    std::vector<std::string> log;
    std::vector<std::shared_ptr<RecordedWorkbook>> workbooks;  // one a run, in order
    int alive = 0;                                             // workbooks handed out and not let go yet
    // The log's lines that begin with the text.
    std::vector<std::string> linesStartingWith(const std::string& text) const;

    // Used by the workbooks it hands out.
    void step(const std::string& name, const std::string& detail = {});
};

}  // namespace qf::testing
