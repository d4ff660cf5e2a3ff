#pragma once
// What main() does before any window exists: the spreadsheet of this machine,
// and the command-line forms that need no window or display.

#include <memory>
#include <string>
#include <vector>

#include "engine/engine_spreadsheet.h"
#include "import/port/spreadsheet.h"

namespace qf {

class SettingsStore;

// On Windows the installed spreadsheet application when it is registered; the
// embedded engine everywhere else.
std::unique_ptr<Spreadsheet> makeSpreadsheet(engine::EngineSettings settings);

// The sheet mode last chosen in the window.
SheetMode rememberedSheetMode(const SettingsStore& settings);

// The program's arguments (without its name) as texts.
std::vector<std::string> programArguments(int argc, char* argv[]);

// Runs quillfen --import / --help / --version; no Qt application object is
// made, so no display is needed. Returns the exit code.
int runWithoutWindow(const std::vector<std::string>& arguments);

}  // namespace qf
