#pragma once
// What main() does apart from the window, in the build at hand: with the
// embedded engine (start_up_engine.cpp) the command-line forms that open no
// window and the engine for the window; with the installed spreadsheet
// application alone (start_up_com.cpp) only that application.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "import/port/spreadsheet.h"

namespace qf {

class SettingsStore;

struct ProgramStart {
    // The program ends at once with this exit code: it did what the command
    // line asked for without a window, or refused it (saying why on standard
    // error).
    std::optional<int> exitCode;
    // The list files whose entries the window adds to its list.
    std::vector<std::string> listFiles;
};

// Reads the command line before any Qt application object exists: --import,
// --help and --version run here and need no display, and a window's command
// line that is refused, or that has no display to show the window on, ends
// the program with a message rather than Qt's abort.
ProgramStart startProgram(int argc, char* argv[]);

// The spreadsheet the window drives, made after the Qt application object:
// the engine with the settings' keys (the warnings about the files its
// requests read go to standard error), or the installed application on
// Windows where it is registered; without the engine the installed
// application alone, whose presence check at start then shows its advice and
// ends the program where it is missing.
std::unique_ptr<Spreadsheet> windowSpreadsheet(const SettingsStore& settings);

}  // namespace qf
