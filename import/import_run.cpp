#include "import_run.h"

#include <cstdint>

#include "base/program_info.h"
#include "base/trap.h"
#include "import/web_import.h"

namespace qf {

namespace {

using automation::Object;
using automation::Variant;

constexpr const char* kRunLocation = "in QuillfenApp2021/08/31.Form1.PushButton2_Click ";

// A member of a collection by its 1-based index: the collection's default member.
Object item(const Object& collection, const Variant& index) { return Object(collection.get("", {index})); }

// The end of the final message when some entries could not be read.
std::string unreadableReport(const std::string& unreadable) {
    return "\r\n\r\nThe following URLs: " + unreadable + "\r\n\r\ncould not be read. \r\n" +
           "Please check them. Please email a screenshot of this message to " + supportEmail() +
           " if you have any questions.";
}

}  // namespace

void runImport(ImportRunHost& host, WindowServices& ui, automation::Provider& provider) {
    Trap trap(ui, kRunLocation);

    if (trap.jumpIf(100, [&] { return host.entryCount() < 1; })) {
        trap.step(188, [&] { ui.messageBox("No files added.", MessageButtons::Ok, MessageIcon::None); });
        return;
    }
    if (trap.jumpIf(102, [&] { return warnIfSpreadsheetOpen(provider, ui); })) return;

    trap.step(108, [&] { ui.setBusy(true); });
    Object app;
    Object workbook;
    trap.step(110, [&] { app = provider.create("Excel.Application"); });
    trap.step(112, [&] { app.obj("Workbooks").call("add"); });
    trap.step(114, [&] { app.put("DisplayAlerts", false); });
    trap.step(116, [&] {
        const Object books = app.obj("Workbooks");
        workbook = item(books, books.get("count"));
    });

    // One sheet per site starts from the workbook's first sheet alone.
    if (trap.when(118, [&] { return host.separateSheets(); })) {
        if (trap.when(120, [&] { return workbook.obj("Sheets").get("count").toInt32() > 1; })) {
            std::int32_t last = 0;
            if (trap.step(122, [&] { last = workbook.obj("Sheets").get("count").toInt32(); })) {
                for (std::int32_t i = last; i >= 2; --i)
                    trap.step(124, [&] { item(workbook.obj("Sheets"), i).call("Delete"); });
            }
        }
    }

    std::string unreadable;  // 128
    // The list may change while the run lets events through: the bound stays as it
    // was at the start, each entry is read afresh, and the run stops at the end of a
    // list that has become shorter.
    std::int32_t count = 0;
    bool emptySheetAdded = false;  // the active sheet is the one added after the last import
    trap.step(130, [&] { count = host.entryCount(); });
    for (std::int32_t n = 1; n <= count; ++n) {
        trap.step(132, [&] { ui.processPendingEvents(); });
        if (host.stopRequested()) break;
        bool pastEnd = false;
        trap.step(134, [&] {
            const int now = host.entryCount();
            pastEnd = n > now;
            if (!pastEnd) host.setProgressValue(static_cast<double>(n) / now * 100.0);
        });
        if (pastEnd) break;
        std::string entry;
        trap.step(136, [&] { entry = host.entryText(n); });
        trap.step(138, [&] { host.setProgressText("Processing: " + stripPath(entry)); });
        trap.step(140, [&] { ui.processPendingEvents(); });
        trap.step(148, [&] { ui.setBusy(true); });
        emptySheetAdded = false;
        std::string failure;
        if (trap.when(150, [&] { return !importWeb(workbook, entry, ui, &failure); })) {
            trap.step(152, [&] { unreadable += "\r\n" + entry; });
            host.entryFailed(n, entry, failure);
        }
        if (trap.when(154, [&] { return host.separateSheets(); })) {
            trap.step(156, [&] {
                const Object sheets = workbook.obj("Sheets");
                const Object last = item(sheets, sheets.get("count"));
                sheets.call("add", {{"After", last}});
                emptySheetAdded = true;
            });
        }
        trap.step(158, [&] { ui.setBusy(true); });
    }

    // The sheet added after the last entry stays empty and goes. When no sheet was
    // added after the last import (the option was switched while the run stopped
    // early, or adding failed), the active sheet holds imported pages and stays.
    if (trap.when(162, [&] { return host.separateSheets(); }) && emptySheetAdded)
        trap.step(164, [&] { workbook.obj("ActiveSheet").call("Delete"); });
    trap.step(166, [&] { workbook.obj("ActiveSheet").obj("Range", {"A1"}).call("Select"); });
    trap.step(168, [&] { app.put("Visible", true); });
    trap.step(170, [&] { app.put("DisplayAlerts", true); });
    app.release();       // 172
    workbook.release();  // 174
    trap.step(176, [&] { ui.setBusy(false); });
    trap.step(178, [&] { host.setProgressValue(0.0); });
    trap.step(180, [&] { host.setProgressText("Progress Bar"); });
    if (trap.when(182, [&] { return !unreadable.empty(); }))
        trap.step(184, [&] { unreadable = unreadableReport(unreadable); });
    trap.step(186, [&] { ui.messageBox("Done." + unreadable, MessageButtons::Ok, MessageIcon::None); });
}

}  // namespace qf
