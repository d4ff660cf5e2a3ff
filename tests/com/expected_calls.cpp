#include "expected_calls.h"

namespace qf::testing::expected_calls {

namespace {

// The calls of one import of an address onto a sheet: the web query at A1 with
// its fixed settings, in order and with their automation types, then the
// synchronous refresh.
Calls importCalls(const std::string& sheet, int query, const std::string& url) {
    const std::string ws = "Worksheet(" + sheet + ")";
    const std::string table = "QueryTable(" + std::to_string(query) + ")";
    Calls calls = {
        "Workbook(Book1).ActiveSheet get",
        ws + ".QueryTables get",
        "Workbook(Book1).ActiveSheet get",
        ws + ".Range get BSTR(\"A1\")",
        "QueryTables(" + sheet + ").Add call Connection:=BSTR(\"URL;" + url + "\") Destination:=DISPATCH(Range(A1 on " +
            sheet + "))",
    };
    const char* const settings[][2] = {
        {"Name", "BSTR(\"?ocid=iehp\")"},
        {"FieldNames", "BOOL(-1)"},
        {"RowNumbers", "BOOL(0)"},
        {"FillAdjacentFormulas", "BOOL(0)"},
        {"PreserveFormatting", "BOOL(-1)"},
        {"RefreshOnFileOpen", "BOOL(0)"},
        {"BackgroundQuery", "BOOL(-1)"},
        {"RefreshStyle", "I4(1)"},
        {"SavePassword", "BOOL(0)"},
        {"SaveData", "BOOL(-1)"},
        {"AdjustColumnWidth", "BOOL(-1)"},
        {"RefreshPeriod", "I2(0)"},
        {"WebSelectionType", "I4(1)"},
        {"WebFormatting", "I4(3)"},
        {"WebPreFormattedTextToColumns", "BOOL(-1)"},
        {"WebConsecutiveDelimitersAsOne", "BOOL(-1)"},
        {"WebSingleBlockTextImport", "BOOL(0)"},
        {"WebDisableDateRecognition", "BOOL(0)"},
        {"WebDisableRedirections", "BOOL(0)"},
    };
    for (const auto& s : settings) calls.push_back(table + "." + s[0] + " put = " + s[1]);
    calls.push_back(table + ".Refresh call BackgroundQuery:=BOOL(0)");
    return calls;
}

// The start of every run: a new instance, a new workbook, alerts off, and the
// workbook found as the last of the workbooks.
Calls runStart() {
    return {"(new Application)",           "Application.Workbooks get",
            "Workbooks.Add call",          "Application.DisplayAlerts put = BOOL(0)",
            "Application.Workbooks get",   "Workbooks.Count get",
            "Workbooks._Default get I4(1)"};
}

// A1 of the active sheet selected, the application shown, alerts back on.
Calls runEnd(const std::string& activeSheet) {
    return {"Workbook(Book1).ActiveSheet get", "Worksheet(" + activeSheet + ").Range get BSTR(\"A1\")",
            "Range(A1 on " + activeSheet + ").Select call", "Application.Visible put = BOOL(-1)",
            "Application.DisplayAlerts put = BOOL(-1)"};
}

// A new last sheet after an entry, with count sheets before it.
Calls addSheetAfter(const std::string& last, int count) {
    return {"Workbook(Book1).Sheets get", "Sheets.Count get", "Sheets._Default get I4(" + std::to_string(count) + ")",
            "Sheets.Add call After:=DISPATCH(Worksheet(" + last + "))"};
}

}  // namespace

void append(Calls& to, const Calls& more) { to.insert(to.end(), more.begin(), more.end()); }

Calls oneSheetRun(const Calls& urls) {
    Calls calls = runStart();
    for (std::size_t i = 0; i < urls.size(); ++i)
        append(calls, importCalls("Sheet1", static_cast<int>(i) + 1, urls[i]));
    append(calls, runEnd("Sheet1"));
    return calls;
}

Calls separateSheetsRun(const Calls& urls, int sheetsInNewWorkbook) {
    const auto sheet = [](int number) { return "Sheet" + std::to_string(number); };
    Calls calls = runStart();
    // Down to the first sheet, deleting from the last.
    append(calls, {"Workbook(Book1).Sheets get", "Sheets.Count get"});
    if (sheetsInNewWorkbook > 1) {
        append(calls, {"Workbook(Book1).Sheets get", "Sheets.Count get"});
        for (int i = sheetsInNewWorkbook; i >= 2; --i)
            append(calls, {"Workbook(Book1).Sheets get", "Sheets._Default get I4(" + std::to_string(i) + ")",
                           "Worksheet(" + sheet(i) + ").Delete call"});
    }
    // Each entry on the sheet added after the one before; new sheets are
    // numbered on from the workbook's first ones.
    std::string current = sheet(1);
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        append(calls, importCalls(current, n, urls[i]));
        append(calls, addSheetAfter(current, n));
        current = sheet(sheetsInNewWorkbook + n);
    }
    // The sheet added after the last entry goes again.
    append(calls, {"Workbook(Book1).ActiveSheet get", "Worksheet(" + current + ").Delete call"});
    append(calls, runEnd(urls.size() == 1 ? sheet(1) : sheet(sheetsInNewWorkbook + static_cast<int>(urls.size()) - 1)));
    return calls;
}

}  // namespace qf::testing::expected_calls
