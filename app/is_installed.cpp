#include "is_installed.h"

#include "base/program_info.h"

namespace qf {

const char* const kSpreadsheetMissingMessage =
    "Error 842001. A normal instance of Excel could not be created.\r\n\r\n"
    "1. Please make sure Excel is installed on this computer.\r\n\r\n"
    "2. Please open Excel normally and make sure a blank spreadsheet opens immediately without any "
    "interrupting window (such as an Excel file recovery window).\r\n\r\n"
    "3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens normally "
    "without any interrupting messages.\r\n\r\n"
    "4. All versions of Excel are supported by this software except for the rare Excel Starter and "
    "Student editions.";

void IsInstalled(automation::Provider& provider, WindowServices& ui, const std::function<void()>& endProgram) {
    bool created = false;
    try {
        automation::Object application = provider.create(kSpreadsheetProgId);
        created = !application.isNothing();
        application.release();
    } catch (...) {
        created = false;
    }
    if (created) return;
    ui.messageBox(kSpreadsheetMissingMessage, MessageButtons::Ok, MessageIcon::None, {});
    endProgram();
}

}  // namespace qf
