#pragma once
// The command-line forms that open no window: --import, --help and --version.
// The import is the window's own run (runImport) driven through a console host:
// progress on standard error, the workbook's path on standard output.

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "import/import_run.h"
#include "import/port/spreadsheet.h"

namespace qf::cli {

// The exit codes of quillfen --import.
namespace exit_code {
inline constexpr int kAllRead = 0;
inline constexpr int kSomeUnreadable = 1;  // the workbook is written all the same
inline constexpr int kBadArguments = 2;    // also an unreadable list file or an existing output
inline constexpr int kNotWritten = 3;
inline constexpr int kStopped = 130;  // Ctrl+C: what was imported is written
}  // namespace exit_code

struct Environment {
    // Makes the spreadsheet the run drives, as the options ask: it writes its
    // workbook to options.output (empty: a new BookN.xlsx in the documents
    // folder), replacing a file there only with options.force.
    std::function<std::unique_ptr<Spreadsheet>(const Options& options)> makeSpreadsheet;
    // The sheet mode last chosen in the window.
    std::function<SheetMode()> rememberedSheetMode;
    // The locations the run's failures are told by (the window's, whose run it is).
    RunLocations runLocations;
    // Whether pages can be read in the locale a language tag names; empty:
    // in any.
    std::function<bool(const std::string& tag)> knownLocale;
    // Whether the browser that renders pages built by scripts is installed,
    // and, when it is not, what to install; empty: it is.
    std::function<bool()> browserInstalled;
    std::string browserToInstall;
    // Why the requests the options ask for cannot be made (a user agent that
    // cannot be sent, a cookie file that cannot be read, with its line); empty
    // when they can, or when the function is empty.
    std::function<std::string(const Options& options)> requestProblem;
    // Warnings about the files the requests read (printed, and the run goes on).
    std::function<std::vector<std::string>(const Options& options)> requestWarnings;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Whether err is a terminal; empty: asked of the file.
    std::optional<bool> errIsTerminal;
};

// Runs quillfen with these arguments (argv without the program's name) when they
// ask for no window (see wantsNoWindow) and returns the exit code.
int runWithoutWindow(const std::vector<std::string>& arguments, const Environment& environment);

}  // namespace qf::cli
