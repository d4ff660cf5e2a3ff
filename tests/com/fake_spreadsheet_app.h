#pragma once
// A spreadsheet application as a COM automation server, for tests: the members
// the import reaches (workbooks, sheets, query tables, ranges), with a small
// model behind them and every call recorded in the shared log. Objects name
// themselves in the log by kind and by what they stand for:
//
//     Workbooks._Default get I4(1)
//     Worksheet(Sheet1).QueryTables get
//     QueryTables(Sheet1).Add call Connection:=BSTR("URL;http://www.a.example") Destination:=DISPATCH(Range(A1 on
//     Sheet1))
//
// Two members the program never calls let a test look in without being logged:
// the application's TestState (the model of every application the process
// made, as text), TestLog (the log, one call a line) and TestAlive (how many of
// the fake's objects are alive in the server's process).

#include <memory>
#include <string>

#include "fake_dispatch.h"

namespace qf::testing {

struct SpreadsheetOptions {
    int sheetsInNewWorkbook = 3;
    std::wstring name = L"Microsoft Excel";  // the application's default member
};

// A new application (one reference, the caller's). A query whose connection
// contains "unreadable" fails to refresh, as a page that cannot be loaded; one
// whose connection contains "refused" cannot be added.
FakeObject* newSpreadsheetApp(const std::shared_ptr<FakeLog>& log, const SpreadsheetOptions& options);

}  // namespace qf::testing
