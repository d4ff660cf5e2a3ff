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

using automation::Object;
using automation::Variant;

// A member of a collection by its 1-based index: the collection's default member.
Object item(const Object& collection, const Variant& index) { return Object(collection.get("", {index})); }

// The end of the final message when some entries could not be read.
std::string unreadableReport(const std::string& unreadable) {
    return "\r\n\r\nThe following URLs: " + unreadable + "\r\n\r\ncould not be read. \r\n" +
           "Please check them. Please email a screenshot of this message to " + supportEmail() +
           " if you have any questions.";
}

std::string stoppedReport(std::int32_t after, std::int32_t of) {
    return "\r\n\r\nStopped after entry " + std::to_string(after) + " of " + std::to_string(of) + ".";
}

// One import run, in its steps. Lives on the window's thread.
class ImportRun {
public:
    ImportRun(ImportRunHost& host, WindowServices& ui, automation::Provider& provider)
        : host_(host), ui_(ui), provider_(provider), trap_(ui, handlerLocation("Form1", "PushButton2_Click")) {}

    bool mayStart();
    void openWorkbook();
    void keepFirstSheetOnly();
    void importEntries();
    void finish();

private:
    bool importEntry(std::int32_t n);
    void stopAfter(std::int32_t n);
    void startReadAhead();
    void tellUpcoming(std::int32_t n);
    void stopReadAhead();

    ImportRunHost& host_;
    WindowServices& ui_;
    automation::Provider& provider_;
    Trap trap_;
    Object app_;
    Object workbook_;
    std::shared_ptr<automation::ReadAhead> ahead_;  // nullptr when the provider has none
    std::string unreadable_;                        // CR LF and the entry, for each entry that could not be read
    std::int32_t count_ = 0;                        // the bound, as the list was at the start
    bool stopped_ = false;
    std::int32_t stoppedAfter_ = 0;  // the last entry tried when the run was stopped
    bool emptySheetAdded_ = false;   // the active sheet is the one added after the last import
};

bool ImportRun::mayStart() {
    if (trap_.jumpIf(100, [&] { return host_.entryCount() < 1; })) {
        trap_.step(188, [&] { ui_.messageBox("No files added.", MessageButtons::Ok, MessageIcon::None); });
        return false;
    }
    return !trap_.jumpIf(102, [&] { return warnIfSpreadsheetOpen(provider_, ui_); });
}

void ImportRun::openWorkbook() {
    trap_.step(108, [&] { ui_.setBusy(true); });
    trap_.step(110, [&] { app_ = provider_.create(kSpreadsheetProgId); });
    trap_.step(112, [&] { app_.obj("Workbooks").call("add"); });
    trap_.step(114, [&] { app_.put("DisplayAlerts", false); });
    trap_.step(116, [&] {
        const Object books = app_.obj("Workbooks");
        workbook_ = item(books, books.get("count"));
    });
}

// One sheet per site starts from the workbook's first sheet alone.
void ImportRun::keepFirstSheetOnly() {
    if (!trap_.when(118, [&] { return host_.separateSheets(); })) return;
    if (!trap_.when(120, [&] { return workbook_.obj("Sheets").get("count").toInt32() > 1; })) return;
    std::int32_t last = 0;
    if (!trap_.step(122, [&] { last = workbook_.obj("Sheets").get("count").toInt32(); })) return;
    for (std::int32_t i = last; i >= 2; --i) trap_.step(124, [&] { item(workbook_.obj("Sheets"), i).call("Delete"); });
}

// The list may change while the run lets events through: the bound stays as it
// was at the start, each entry is read afresh, and the run stops at the end of a
// list that has become shorter, or after the entry in hand when asked to stop.
void ImportRun::importEntries() {
    trap_.step(130, [&] { count_ = host_.entryCount(); });
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
    trap_.step(132, [&] { ui_.processPendingEvents(); });
    if (host_.stopRequested()) {  // asked before this entry was taken in hand
        stopAfter(n - 1);
        return false;
    }
    bool pastEnd = false;
    trap_.step(134, [&] {
        const int now = host_.entryCount();
        pastEnd = n > now;
        if (!pastEnd) host_.setProgressValue(static_cast<double>(n) / now * 100.0);
    });
    if (pastEnd) return false;
    std::string entry;
    trap_.step(136, [&] { entry = host_.entryText(n); });
    trap_.step(138, [&] { host_.setProgressText("Processing: " + stripPath(entry)); });
    trap_.step(140, [&] { ui_.processPendingEvents(); });
    trap_.step(148, [&] { ui_.setBusy(true); });
    emptySheetAdded_ = false;
    tellUpcoming(n);
    std::string failure;
    if (trap_.when(150, [&] { return !importWeb(workbook_, entry, ui_, &failure); })) {
        trap_.step(152, [&] { unreadable_ += "\r\n" + entry; });
        host_.entryFailed(n, entry, failure);
    }
    if (trap_.when(154, [&] { return host_.separateSheets(); })) {
        trap_.step(156, [&] {
            const Object sheets = workbook_.obj("Sheets");
            const Object last = item(sheets, sheets.get("count"));
            sheets.call("add", {{"After", last}});
            emptySheetAdded_ = true;
        });
    }
    trap_.step(158, [&] { ui_.setBusy(true); });
    return true;
}

// Loading pages ahead is the provider's offer and only ever saves time: when it
// fails, the run goes on without it and the user hears nothing of it.
void ImportRun::startReadAhead() {
    try {
        ahead_ = provider_.readAhead(app_);
        if (!ahead_) return;
        // While a refresh waits for its page, the window goes on answering; a run
        // started meanwhile (and ended) leaves this one busy.
        ahead_->setWaitHook([this] {
            ui_.processPendingEvents();
            if (!ui_.busy()) ui_.setBusy(true);
        });
    } catch (...) {
        ahead_.reset();
    }
}

// The entries from n on, as the import will open them.
void ImportRun::tellUpcoming(std::int32_t n) {
    if (!ahead_) return;
    try {
        const std::int32_t depth = static_cast<std::int32_t>(std::min<std::size_t>(ahead_->depth(), 1u << 20));
        const std::int32_t last = std::min({count_, static_cast<std::int32_t>(host_.entryCount()), n + depth});
        std::vector<automation::UpcomingQuery> upcoming;
        for (std::int32_t i = n; i <= last; ++i) upcoming.push_back({i, webQueryConnection(host_.entryText(i))});
        ahead_->expect(upcoming);
    } catch (...) {
        stopReadAhead();
    }
}

void ImportRun::stopReadAhead() {
    if (!ahead_) return;
    try {
        ahead_->stop();
        ahead_->setWaitHook(nullptr);
    } catch (...) {}
    ahead_.reset();
}

// The sheet added after the last entry stays empty and goes. When no sheet was
// added after the last import (the option was switched while the run stopped
// early, or adding failed), the active sheet holds imported pages and stays.
void ImportRun::finish() {
    if (trap_.when(162, [&] { return host_.separateSheets(); }) && emptySheetAdded_)
        trap_.step(164, [&] { workbook_.obj("ActiveSheet").call("Delete"); });
    trap_.step(166, [&] { workbook_.obj("ActiveSheet").obj("Range", {"A1"}).call("Select"); });
    trap_.step(168, [&] { app_.put("Visible", true); });
    trap_.step(170, [&] { app_.put("DisplayAlerts", true); });
    app_.release();
    workbook_.release();
    trap_.step(176, [&] { ui_.setBusy(false); });
    trap_.step(178, [&] { host_.setProgressValue(0.0); });
    trap_.step(180, [&] { host_.setProgressText(kIdleProgressText); });
    if (host_.closing()) return;
    if (trap_.when(182, [&] { return !unreadable_.empty(); }))
        trap_.step(184, [&] { unreadable_ = unreadableReport(unreadable_); });
    if (stopped_) unreadable_ += stoppedReport(stoppedAfter_, count_);
    trap_.step(186, [&] { ui_.messageBox("Done." + unreadable_, MessageButtons::Ok, MessageIcon::None); });
}

}  // namespace

void runImport(ImportRunHost& host, WindowServices& ui, automation::Provider& provider) {
    ImportRun run(host, ui, provider);
    if (!run.mayStart()) return;
    run.openWorkbook();
    run.keepFirstSheetOnly();
    run.importEntries();
    run.finish();
}

}  // namespace qf
