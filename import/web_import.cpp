#include "web_import.h"

#include "base/program_info.h"
#include "base/text.h"
#include "base/trap.h"

namespace qf {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

}  // namespace

std::string normalizeUrl(const std::string& address) {
    const std::string text = trimmed(address);
    // An address with its scheme is opened as it stands, the secure one included.
    if (startsWithIgnoringAsciiCase(text, "http://") || startsWithIgnoringAsciiCase(text, "https://")) return text;
    // Stray characters in front of "www" (quotes, bullets, spaces) are dropped; a
    // "www" inside a host name or a path is not the start of the address.
    const auto www = text.find("www");
    if (www != std::string::npos && text.find_first_of("./:") >= www) return "http://" + text.substr(www);
    return "http://" + text;
}

bool importWeb(NewWorkbook& workbook, const std::string& address, WindowServices& ui, std::string* failure) {
    Trap trap(ui, handlerLocation("Excel1", "ImportWeb"));
    return workbook.importPage(normalizeUrl(address), trap, failure);
}

std::string stripPath(const std::string& text) {
    const auto slash = text.rfind('\\');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

bool warnIfSpreadsheetOpen(Spreadsheet& spreadsheet, WindowServices& ui) {
    if (!spreadsheet.instanceRunning()) return false;
    const MessageAnswer answer = ui.messageBox(
        "Excel may be open. It is recommended that you close Excel first.\r"
        "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
        "Would you like to proceed anyway?",
        MessageButtons::YesNo, MessageIcon::None);
    return answer != MessageAnswer::Yes;
}

}  // namespace qf
