#pragma once
// The program's command line: what to do and with which files. No Qt.
//
//   quillfen [FILE...]                         the window, with the files' entries
//   quillfen --import FILE... [--separate-sheets | --one-sheet]
//            [--output PATH.xlsx] [--force] [--open] [--locale TAG]
//            [--scripts auto|always|never] [--user-agent TEXT] [--cookies FILE]
//   quillfen --help | --version

#include <optional>
#include <string>
#include <vector>

#include "import/port/spreadsheet.h"

namespace qf::cli {

enum class Action { Window, Import, Help, Version };

struct Options {
    Action action = Action::Window;
    std::vector<std::string> files;
    std::optional<SheetMode> sheetMode;  // empty: the remembered one
    std::string output;                  // empty: a new BookN.xlsx in the documents folder
    bool force = false;                  // replace an existing output file
    bool open = false;                   // open the workbook once written
    // A language tag ("de-CH") every page's values are read in; empty: the
    // remembered one, else each page's own conventions.
    std::string locale;
    // When pages built by scripts are rendered in a browser: "auto", "always"
    // or "never"; empty: the remembered one (the Scripts setting), else auto.
    std::string scripts;
    // The User-Agent every request names; empty: the remembered one, else the default.
    std::string userAgent;
    // A Netscape cookie file read at the start of the run; empty: the remembered one, if any.
    std::string cookieFile;
};

struct ParseResult {
    Options options;
    std::string error;  // not empty: the arguments are refused, and why
};

// Whether the arguments (argv without the program's name) ask for something
// that needs no window: --import, --help or --version before any "--".
bool wantsNoWindow(const std::vector<std::string>& arguments);

// Reads the arguments (without the program's name). In the window's form every
// argument is a list file; options there are refused.
ParseResult parseArguments(const std::vector<std::string>& arguments);

// A locale named the way the LANG variable names one ("de_DE.UTF-8",
// "de_DE@euro", "sr_RS@latin") as the language tag it stands for ("de-DE",
// "de-DE", "sr-Latn-RS"): without its character set, a modifier that names a
// script as the script. Any other text as it is.
std::string localeTag(const std::string& name);

// What refused arguments print on standard error: the reason, and where to
// read how the program is called.
std::string refusedArgumentsText(const std::string& error);

// The text --help prints.
std::string usageText();
// The text --version prints: "quillfen 1.0.0".
std::string versionText();

}  // namespace qf::cli
