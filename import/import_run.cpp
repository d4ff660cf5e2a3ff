#include "import_run.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/program_info.h"
#include "base/trap.h"
#include "import/web_import.h"

namespace qf {

namespace {

using namespace run_statement;

// The end of the final message when some entries could not be read.
std::string unreadableReport(const std::string& unreadable) {
    return "\r\n\r\nThe following URLs: " + unreadable + "\r\n\r\ncould not be read. \r\n" +
           "Please check them. Please email a screenshot of this message to " + supportEmail() +
           " if you have any questions.";
}

// The closing box names this many unreadable entries; the others are counted,
// and every one is in the box's details.
constexpr int kUnreadableShown = 20;

std::string sheetsReport(int sheets) {
    return "\r\n\r\nThe pages needed " + std::to_string(sheets) + " sheets: a sheet holds 1,048,576 rows.";
}

std::string stoppedReport(std::int32_t after, std::int32_t of) {
    return "\r\n\r\nStopped after entry " + std::to_string(after) + " of " + std::to_string(of) + ".";
}

// One import run, in its steps. Lives on the window's thread.
class ImportRun {
public:
    ImportRun(ImportRunHost& host, WindowServices& ui, Spreadsheet& spreadsheet, const RunLocations& locations)
        : host_(host), ui_(ui), spreadsheet_(spreadsheet), trap_(ui, locations.run), webImport_(locations.webImport) {}

    bool mayStart();
    void startWorkbook();
    void keepFirstSheetOnly();
    void importEntries();
    void finish();

private:
    bool importEntry(std::int32_t n);
    bool sheetPerSite() const { return host_.sheetMode() == SheetMode::SheetPerSite; }
    void stopAfter(std::int32_t n);
    void startReadAhead();
    void tellUpcoming(std::int32_t n);
    void stopReadAhead();
    void tellPageNotes(std::int32_t n, const std::string& entry);

    ImportRunHost& host_;
    WindowServices& ui_;
    Spreadsheet& spreadsheet_;
    Trap trap_;
    std::string webImport_;  // the location of the web import's error reports
    std::unique_ptr<NewWorkbook> workbook_;
    ReadAhead* ahead_ = nullptr;  // the workbook's, while the run names pages ahead
    std::string unreadable_;      // CR LF and the entry, for each entry that could not be read
    int unreadableCount_ = 0;
    std::size_t unreadableShown_ = 0;  // the length of unreadable_ the closing box shows
    RunSummary summary_;
    std::int32_t count_ = 0;  // the bound, as the list was at the start
    bool stopped_ = false;
    std::int32_t stoppedAfter_ = 0;  // the last entry tried when the run was stopped
    bool emptySheetAdded_ = false;   // the active sheet is the one added after the last import
};

bool ImportRun::mayStart() {
    if (trap_.jumpIf(kListEmpty, [&] { return host_.entryCount() < 1; })) {
        trap_.step(kNoFilesAdded, [&] { ui_.messageBox("No files added.", MessageButtons::Ok, MessageIcon::None); });
        return false;
    }
    return !trap_.jumpIf(kWarnIfSpreadsheetOpen, [&] { return warnIfSpreadsheetOpen(spreadsheet_, ui_); });
}

void ImportRun::startWorkbook() {
    trap_.step(kBusyAtStart, [&] { ui_.setBusy(true); });
    workbook_ = spreadsheet_.newWorkbook();
    workbook_->startWorkbook(trap_);
}

// One sheet per site starts from the workbook's first sheet alone.
void ImportRun::keepFirstSheetOnly() {
    if (trap_.when(kSheetPerSiteAtStart, [&] { return sheetPerSite(); })) workbook_->keepFirstSheetOnly(trap_);
}

// The list may change while the run lets events through: the bound stays as it
// was at the start, each entry is read afresh, and the run stops at the end of a
// list that has become shorter, or after the entry in hand when asked to stop.
void ImportRun::importEntries() {
    trap_.step(kCountEntries, [&] { count_ = host_.entryCount(); });
    startReadAhead();
    for (std::int32_t n = 1; n <= count_; ++n) {
        if (!importEntry(n)) break;
        if (host_.stopRequested()) {
            stopAfter(n);
            break;
        }
    }
    stopReadAhead();
}

void ImportRun::stopAfter(std::int32_t n) {
    stopped_ = true;
    stoppedAfter_ = n;
}

bool ImportRun::importEntry(std::int32_t n) {
    trap_.step(kYieldBeforeEntry, [&] { ui_.processPendingEvents(); });
    if (host_.stopRequested()) {  // asked before this entry was taken in hand
        stopAfter(n - 1);
        return false;
    }
    bool pastEnd = false;
    int now = 0;  // the entries the list has now
    trap_.step(kCheckListEnd, [&] {
        now = host_.entryCount();
        pastEnd = n > now;
    });
    if (pastEnd) return false;
    std::string entry;
    trap_.step(kReadEntry, [&] { entry = host_.entryText(n); });
    trap_.step(kTellEntryStarted, [&] { host_.entryStarted(n, now, entry); });
    trap_.step(kYieldAfterStart, [&] { ui_.processPendingEvents(); });
    trap_.step(kBusyForImport, [&] { ui_.setBusy(true); });
    emptySheetAdded_ = false;
    tellUpcoming(n);
    std::string failure;
    if (trap_.when(kImportEntry, [&] { return !importWeb(*workbook_, entry, ui_, webImport_, &failure); })) {
        trap_.step(kNoteUnreadable, [&] { unreadable_ += "\r\n" + entry; });
        if (++unreadableCount_ <= kUnreadableShown) unreadableShown_ = unreadable_.size();
        host_.entryFailed(n, entry, failure);
    }
    tellPageNotes(n, entry);
    if (trap_.when(kSheetPerSiteAfterEntry, [&] { return sheetPerSite(); })) {
        trap_.step(kAddSheet, [&] {
            workbook_->addSheetAfterLast();
            emptySheetAdded_ = true;
        });
    }
    trap_.step(kBusyAfterEntry, [&] { ui_.setBusy(true); });
    return true;
}

// Loading pages ahead is the spreadsheet's offer and only ever saves time: when
// it fails, the run goes on without it and the user hears nothing of it.
void ImportRun::startReadAhead() {
    try {
        ahead_ = workbook_->readAhead();
        if (!ahead_) return;
        // While an import waits for its page, the window goes on answering; a run
        // started meanwhile (and ended) leaves this one busy.
        ahead_->setWaitHook([this] {
            ui_.processPendingEvents();
            if (!ui_.busy()) ui_.setBusy(true);
        });
    } catch (...) {
        ahead_ = nullptr;
    }
}

// The entries from n on, as the import will open them.
void ImportRun::tellUpcoming(std::int32_t n) {
    if (!ahead_) return;
    try {
        const std::int32_t depth = static_cast<std::int32_t>(std::min<std::size_t>(ahead_->depth(), 1u << 20));
        const std::int32_t last = std::min({count_, static_cast<std::int32_t>(host_.entryCount()), n + depth});
        std::vector<UpcomingPage> upcoming;
        for (std::int32_t i = n; i <= last; ++i) {
            const std::string entry = host_.entryText(i);
            if (isWebAddress(entry)) upcoming.push_back({i, normalizeUrl(entry)});  // others are not opened
        }
        ahead_->expect(upcoming);
    } catch (...) {
        stopReadAhead();
    }
}

// What the spreadsheet has to tell of how a page was read goes to the host;
// it never stops the run.
void ImportRun::tellPageNotes(std::int32_t n, const std::string& entry) {
    try {
        for (const std::string& note : workbook_->takePageNotes()) host_.entryNote(n, entry, note);
    } catch (...) {}
}

void ImportRun::stopReadAhead() {
    if (!ahead_) return;
    try {
        ahead_->stop();
        ahead_->setWaitHook(nullptr);
    } catch (...) {}
    ahead_ = nullptr;
}

// The sheet added after the last entry stays empty and goes. When no sheet was
// added after the last import (the option was switched while the run stopped
// early, or adding failed), the active sheet holds imported pages and stays.
void ImportRun::finish() {
    if (trap_.when(kSheetPerSiteAtEnd, [&] { return sheetPerSite(); }) && emptySheetAdded_)
        trap_.step(kDeleteEmptySheet, [&] { workbook_->deleteActiveSheet(); });
    try {
        summary_.sheetsAddedForRoom = workbook_->sheetsAddedForRoom();
    } catch (...) {}
    try {
        summary_.notes = workbook_->notes();
    } catch (...) {
        // The notes only explain; a run without them is the same run.
    }
    summary_.workbook = workbook_->finish(trap_);
    workbook_.reset();
    if (!summary_.workbook.empty()) trap_.step(kShowWorkbook, [&] { host_.workbookWritten(summary_.workbook); });
    trap_.step(kNotBusy, [&] { ui_.setBusy(false); });
    summary_.count = count_;
    summary_.unreadable = unreadableCount_;
    summary_.stopped = stopped_;
    summary_.stoppedAfter = stoppedAfter_;
    trap_.step(kTellRunFinished, [&] { host_.runFinished(summary_); });
    if (host_.closing() || !host_.showsClosingBox()) return;
    // A long list would make a box taller than the screen: its text names the
    // first entries, its details all of them.
    std::string details;
    if (unreadableCount_ > kUnreadableShown) {
        details = unreadable_.starts_with("\r\n") ? unreadable_.substr(2) : unreadable_;
        unreadable_ = unreadable_.substr(0, unreadableShown_) + "\r\nand " +
                      std::to_string(unreadableCount_ - kUnreadableShown) + " more";
    }
    if (trap_.when(kAnyUnreadable, [&] { return !unreadable_.empty(); }))
        trap_.step(kListUnreadable, [&] { unreadable_ = unreadableReport(unreadable_); });
    if (summary_.sheetsAddedForRoom > 0) unreadable_ += sheetsReport(summary_.sheetsAddedForRoom + 1);
    if (stopped_) unreadable_ += stoppedReport(stoppedAfter_, count_);
    if (!summary_.notes.empty()) unreadable_ += "\r\n";
    for (const std::string& note : summary_.notes) unreadable_ += "\r\n" + note;
    // Named whether or not the desktop opened it: an opener may start and still fail.
    if (!summary_.workbook.empty()) unreadable_ += "\r\n\r\nThe workbook was saved as " + summary_.workbook;
    trap_.step(kClosingBox, [&] {
        if (details.empty())
            ui_.messageBox("Done." + unreadable_, MessageButtons::Ok, MessageIcon::None);
        else
            ui_.detailedMessageBox("Done." + unreadable_, details, MessageButtons::Ok, MessageIcon::None);
    });
}

}  // namespace

void runImport(ImportRunHost& host, WindowServices& ui, Spreadsheet& spreadsheet, const RunLocations& locations) {
    ImportRun run(host, ui, spreadsheet, locations);
    if (!run.mayStart()) return;
    run.startWorkbook();
    run.keepFirstSheetOnly();
    run.importEntries();
    run.finish();
}

}  // namespace qf
