#pragma once
// The presence check at start: can the spreadsheet application be created?

#include <functional>

#include "base/window_services.h"
#include "import/port/spreadsheet.h"

namespace qf {

// The advisory shown when it cannot.
extern const char* const kSpreadsheetMissingMessage;

// Returns normally when the spreadsheet can be started (it is let go at once).
// Otherwise shows the advisory (no caption of its own, OK only, no icon) and
// then ends the program. Never reports a failure.
void IsInstalled(Spreadsheet& spreadsheet, WindowServices& ui, const std::function<void()>& endProgram);

}  // namespace qf
