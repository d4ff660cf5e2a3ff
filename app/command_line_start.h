#pragma once
// What main() does before any window exists: the spreadsheet of this machine,
// and the command-line forms that need no window or display.

#include <cstdio>
#include <memory>
#include <optional>
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

// The language tag the settings name for reading every page's values (the
// key Locale); empty: each page's own conventions.
std::string rememberedLocale(const SettingsStore& settings);

// How pages built by scripts are rendered, as the settings say (the keys
// Scripts, RenderSeconds and RenderTabs); a value out of its range or not
// understood leaves that key's default. scriptsOption (--scripts), when not
// empty, goes before the Scripts key.
engine::RenderSettings rememberedRenderSettings(const SettingsStore& settings, const std::string& scriptsOption = {});

// The request settings the keys UserAgent and CookieFile name; empty where unset.
engine::RequestSettings rememberedRequest(const SettingsStore& settings);

// The program's arguments (without its name) as texts.
std::vector<std::string> programArguments(int argc, char* argv[]);

// Runs quillfen --import / --help / --version; no Qt application object is
// made, so no display is needed. Returns the exit code.
int runWithoutWindow(const std::vector<std::string>& arguments);

// Checks the window's command line before any Qt application object exists:
// Qt's own options (which the application object takes out) with their values,
// then the program's. Refused arguments, or no display to show the window on,
// print why on err; the program then ends with the exit code returned.
std::optional<int> refuseWindowStart(const std::vector<std::string>& arguments, std::FILE* err);

// The window's arguments that are the program's own: Qt's options taken out (as
// QApplication takes them out of argv; on Windows the arguments come from the
// wide command line, which keeps them).
std::vector<std::string> ownArguments(const std::vector<std::string>& arguments);

}  // namespace qf
