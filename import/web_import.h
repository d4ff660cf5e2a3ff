#pragma once
// The import of one address, and the checks
// made before an import run.

#include <string>

#include "base/window_services.h"
#include "import/port/spreadsheet.h"

namespace qf {

// Why an entry whose address names another scheme than http or https is not
// imported.
inline constexpr const char* kOnlyWebAddresses = "only web addresses (http, https) can be imported";

// Whether a list entry is a web address: one without a scheme, which the
// import completes with http, or one with http or https. "ftp://host/",
// "file:///home/list.html" and "mailto:someone@example.org" are not.
bool isWebAddress(const std::string& address);

// The address the import opens for a list entry.
std::string normalizeUrl(const std::string& address);

// Imports the page of a list entry at A1 of the workbook's active sheet and
// tells whether it could be read; when it could not, failure (if given)
// receives the reason the spreadsheet gave. Its error reports name location.
bool importWeb(NewWorkbook& workbook, const std::string& address, WindowServices& ui, const std::string& location,
               std::string* failure = nullptr);

// The text after the last backslash, or the whole text.
std::string stripPath(const std::string& text);

// Asks whether to go on when an instance of the spreadsheet is running; true
// means the run must not start.
bool warnIfSpreadsheetOpen(Spreadsheet& spreadsheet, WindowServices& ui);

}  // namespace qf
