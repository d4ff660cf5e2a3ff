#include "web_import.h"

#include <cstdint>
#include <exception>
#include <string_view>
#include <vector>

#include "base/program_info.h"
#include "base/trap.h"

namespace qf {

namespace {

using automation::Object;
using automation::Variant;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           automation::sameName(std::string_view(text).substr(0, prefix.size()), prefix);
}

// One property of the web query and the value every query gets.
struct QueryProperty {
    int line;
    const char* name;
    Variant value;
};

const std::vector<QueryProperty>& queryProperties() {
    static const std::vector<QueryProperty> properties = {
        {102, "name", Variant("?ocid=iehp")},
        {104, "FieldNames", Variant(true)},
        {106, "RowNumbers", Variant(false)},
        {108, "FillAdjacentFormulas", Variant(false)},
        {110, "PreserveFormatting", Variant(true)},
        {112, "RefreshOnFileOpen", Variant(false)},
        {114, "BackgroundQuery", Variant(true)},
        {116, "RefreshStyle", Variant(std::int32_t{1})},  // insert cells for the new data
        {118, "SavePassword", Variant(false)},
        {120, "SaveData", Variant(true)},
        {122, "AdjustColumnWidth", Variant(true)},
        {124, "RefreshPeriod", Variant(std::int16_t{0})},
        {126, "WebSelectionType", Variant(std::int32_t{1})},  // the entire page
        {128, "WebFormatting", Variant(std::int32_t{3})},     // no formatting
        {130, "WebPreFormattedTextToColumns", Variant(true)},
        {132, "WebConsecutiveDelimitersAsOne", Variant(true)},
        {134, "WebSingleBlockTextImport", Variant(false)},
        {136, "WebDisableDateRecognition", Variant(false)},
        {138, "WebDisableRedirections", Variant(false)},
    };
    return properties;
}

}  // namespace

std::string normalizeUrl(const std::string& address) {
    const std::string text = trimmed(address);
    // An address with its scheme is opened as it stands, the secure one included.
    if (startsWithNoCase(text, "http://") || startsWithNoCase(text, "https://")) return text;
    // Stray characters in front of "www" (quotes, bullets, spaces) are dropped; a
    // "www" inside a host name or a path is not the start of the address.
    const auto www = text.find("www");
    if (www != std::string::npos && text.find_first_of("./:") >= www) return "http://" + text.substr(www);
    return "http://" + text;
}

std::string webQueryConnection(const std::string& address) { return "URL;" + normalizeUrl(address); }

bool importWeb(const Object& workbook, const std::string& address, WindowServices& ui, std::string* failure) {
    Trap trap(ui, handlerLocation("Excel1", "ImportWeb"));
    Object table;
    trap.step(100, [&] {
        const Object tables = workbook.obj("ActiveSheet").obj("QueryTables");
        const Object destination = workbook.obj("ActiveSheet").obj("Range", {"A1"});
        table = tables.callObj("add", {{"Connection", webQueryConnection(address)}, {"Destination", destination}});
    });
    for (const QueryProperty& p : queryProperties()) trap.step(p.line, [&] { table.put(p.name, p.value); });

    // The refresh is not reported: a page that cannot be read is the result False.
    bool refreshed = true;
    try {
        table.call("Refresh", {{"BackgroundQuery", false}});
    } catch (const std::exception& error) {
        refreshed = false;
        if (failure) *failure = error.what();
    } catch (...) {
        refreshed = false;
        if (failure) *failure = "the refresh failed";
    }
    table.release();
    return refreshed;
}

std::string stripPath(const std::string& text) {
    const auto slash = text.rfind('\\');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

bool isSpreadsheetRunning(automation::Provider& provider) {
    try {
        const Object running = provider.getRunning(kSpreadsheetProgId);
        return running.value().toText() == "Microsoft Excel";
    } catch (...) {
        return false;
    }
}

bool warnIfSpreadsheetOpen(automation::Provider& provider, WindowServices& ui) {
    if (!isSpreadsheetRunning(provider)) return false;
    const MessageAnswer answer = ui.messageBox(
        "Excel may be open. It is recommended that you close Excel first.\r"
        "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
        "Would you like to proceed anyway?",
        MessageButtons::YesNo, MessageIcon::None);
    return answer != MessageAnswer::Yes;
}

}  // namespace qf
