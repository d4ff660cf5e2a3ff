#include "is_installed.h"

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

void IsInstalled(Spreadsheet& spreadsheet, WindowServices& ui, const std::function<void()>& endProgram) {
    if (spreadsheet.canStart()) return;
    ui.messageBox(kSpreadsheetMissingMessage, MessageButtons::Ok, MessageIcon::None, {});
    endProgram();
}

}  // namespace qf
