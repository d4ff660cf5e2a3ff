#pragma once
// The import of one address through a web query, and the checks
// made before an import run.

#include <string>

#include "base/window_services.h"
#include "automation/object.h"

namespace qf {

// The address a web query opens for a list entry.
std::string normalizeUrl(const std::string& address);

// The connection text of the web query importWeb adds for a list entry.
std::string webQueryConnection(const std::string& address);

// Adds a web query for the address at A1 of the workbook's active sheet,
// refreshes it, and tells whether the page could be read; when it could not,
// failure (if given) receives the reason the refresh gave.
bool importWeb(const automation::Object& workbook, const std::string& address, WindowServices& ui,
               std::string* failure = nullptr);

// The text after the last backslash, or the whole text.
std::string stripPath(const std::string& text);

// True when a running spreadsheet application can be reached.
bool isSpreadsheetRunning(automation::Provider& provider);

// Asks whether to go on when one is running; true means the run must not start.
bool warnIfSpreadsheetOpen(automation::Provider& provider, WindowServices& ui);

}  // namespace qf
