#include "web_import.h"

#include <string_view>

#include "base/program_info.h"
#include "base/text.h"
#include "base/trap.h"

namespace qf {

namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The scheme a text begins with ("ftp" of "ftp://host/"), or empty. A host
// name and its port ("localhost:8080", "www.example.org:81") is no scheme.
std::string_view schemeOf(std::string_view text) {
    if (text.empty() || !isAsciiLetter(text.front())) return {};
    std::size_t end = 1;
    while (end < text.size() &&
           (isAsciiLetter(text[end]) || isAsciiDigit(text[end]) || text[end] == '+' || text[end] == '-'))
        ++end;
    if (end >= text.size() || text[end] != ':') return {};
    const std::string_view scheme = text.substr(0, end), rest = text.substr(end + 1);
    // Schemes written without slashes; a port number after the colon makes a host name of it.
    for (const char* bare : {"mailto", "javascript", "data", "tel"})
        if (sameIgnoringAsciiCase(scheme, bare) && !(rest.empty() || isAsciiDigit(rest.front()))) return scheme;
    return rest.starts_with('/') ? scheme : std::string_view{};
}

}  // namespace

bool isWebAddress(const std::string& address) {
    const std::string text(trimAsciiSpace(address));
    const std::string_view scheme = schemeOf(text);
    return scheme.empty() || sameIgnoringAsciiCase(scheme, "http") || sameIgnoringAsciiCase(scheme, "https");
}

std::string normalizeUrl(const std::string& address) {
    const std::string text(trimAsciiSpace(address));
    // An address with its scheme is opened as it stands, the secure one included.
    if (startsWithIgnoringAsciiCase(text, "http://") || startsWithIgnoringAsciiCase(text, "https://")) return text;
    // Stray characters in front of "www" (quotes, bullets, spaces) are dropped; a
    // "www" inside a host name or a path is not the start of the address.
    const auto www = text.find("www");
    if (www != std::string::npos && text.find_first_of("./:") >= www) return "http://" + text.substr(www);
    return "http://" + text;
}

bool importWeb(NewWorkbook& workbook, const std::string& address, WindowServices& ui, const std::string& location,
               std::string* failure) {
    Trap trap(ui, location);
    if (!isWebAddress(address)) {
        if (failure) *failure = kOnlyWebAddresses;
        return false;
    }
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
