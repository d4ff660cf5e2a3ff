#pragma once
// The presence check at start: can the spreadsheet application be created?

#include <functional>

#include "base/window_services.h"
#include "automation/object.h"

namespace qf {

// The advisory shown when it cannot.
extern const char* const kSpreadsheetMissingMessage;

// Returns normally when an application object can be created (it is released at
// once). Otherwise shows the advisory (no caption of its own, OK only, no icon)
// and then ends the program. Never reports a failure.
void IsInstalled(automation::Provider& provider, WindowServices& ui, const std::function<void()>& endProgram);

}  // namespace qf
