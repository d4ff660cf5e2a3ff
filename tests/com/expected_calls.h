#pragma once
// The calls the import run makes on the spreadsheet application, as the fake
// server logs them (see fake_spreadsheet_app.h), for the checks of whole runs:
// the COM tests' own runs and the Windows program's runs under Wine.

#include <string>
#include <vector>

namespace qf::testing::expected_calls {

using Calls = std::vector<std::string>;

void append(Calls& to, const Calls& more);

// A whole run over the addresses (as imported, with their scheme) in a new
// application whose workbooks start with sheetsInNewWorkbook sheets: every site
// onto the first sheet, or each onto a sheet of its own.
Calls oneSheetRun(const std::vector<std::string>& urls);
Calls separateSheetsRun(const std::vector<std::string>& urls, int sheetsInNewWorkbook);

}  // namespace qf::testing::expected_calls
