#include "command_line.h"

#include <algorithm>

#include "base/program_info.h"
#include "base/text.h"

namespace qf::cli {

namespace {

// A language tag's shape: a language of letters, then subtags of letters and
// digits, joined by "-" (or "_").
bool looksLikeLanguageTag(const std::string& tag) {
    if (tag.empty() || tag.size() > 35 || !((tag[0] >= 'a' && tag[0] <= 'z') || (tag[0] >= 'A' && tag[0] <= 'Z')))
        return false;
    char before = 0;
    for (char c : tag) {
        const bool separator = c == '-' || c == '_';
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!(separator || alphanumeric) || (separator && (before == '-' || before == '_'))) return false;
        before = c;
    }
    return before != '-' && before != '_';
}

bool endsWithXlsx(const std::string& path) {
    constexpr std::string_view tail = ".xlsx";
    return path.size() > tail.size() &&
           sameIgnoringAsciiCase(std::string_view(path).substr(path.size() - tail.size()), tail);
}

}  // namespace

std::string localeTag(const std::string& name) {
    const std::size_t at = name.find('@');
    const std::string modifier = at == std::string::npos ? std::string() : name.substr(at + 1);
    std::string tag = name.substr(0, std::min(name.find('.'), at));
    // The modifiers that name a script; the others (euro, a collation) name no convention a page is read in.
    const char* script = sameIgnoringAsciiCase(modifier, "latin")      ? "Latn"
                         : sameIgnoringAsciiCase(modifier, "cyrillic") ? "Cyrl"
                                                                       : nullptr;
    if (script) tag = tag.substr(0, tag.find('_')) + "_" + script + tag.substr(std::min(tag.find('_'), tag.size()));
    // Written as a language tag is, once it was written as LANG writes it.
    if (tag.size() != name.size() || script) std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

bool wantsNoWindow(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--") return false;
        if (argument == "--import" || argument == "--help" || argument == "-h" || argument == "--version") return true;
    }
    return false;
}

ParseResult parseArguments(const std::vector<std::string>& arguments) {
    ParseResult result;
    Options& o = result.options;
    auto refuse = [&result](const std::string& why) {
        result.error = why;
        return result;
    };
    // An option with a value, as "--name value" or "--name=value"; the value
    // is empty when none follows.
    auto takesValue = [](const std::string& a, std::string_view name) {
        return a == name || (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=');
    };
    auto valueOf = [&arguments](const std::string& a, std::string_view name, std::size_t& i) -> std::string {
        if (a.size() > name.size()) return a.substr(name.size() + 1);
        return i + 1 < arguments.size() ? arguments[++i] : std::string();
    };
    bool optionsEnded = false;
    std::vector<std::string> importOnly;  // options that mean nothing without --import
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            o.files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            o.action = Action::Help;
            return result;
        } else if (a == "--version") {
            o.action = Action::Version;
            return result;
        } else if (a == "--import") {
            o.action = Action::Import;
        } else if (a == "--separate-sheets" || a == "--one-sheet") {
            const SheetMode mode = a == "--separate-sheets" ? SheetMode::SheetPerSite : SheetMode::OneSheet;
            if (o.sheetMode && *o.sheetMode != mode)
                return refuse("--separate-sheets and --one-sheet cannot be given together");
            o.sheetMode = mode;
            importOnly.push_back(a);
        } else if (takesValue(a, "--output")) {
            o.output = valueOf(a, "--output", i);
            if (o.output.empty()) return refuse("--output needs a file name");
            if (!endsWithXlsx(o.output)) return refuse("the output file must end in .xlsx: " + o.output);
            importOnly.push_back("--output");
        } else if (takesValue(a, "--locale")) {
            o.locale = localeTag(valueOf(a, "--locale", i));
            if (o.locale.empty()) return refuse("--locale needs a language tag, such as de-CH");
            if (o.locale == "C" || o.locale == "POSIX")
                return refuse("the locale " + o.locale + " names no language; give a language tag, such as de-CH");
            if (!looksLikeLanguageTag(o.locale)) return refuse("not a language tag: " + o.locale);
            importOnly.push_back("--locale");
        } else if (takesValue(a, "--scripts")) {
            o.scripts = valueOf(a, "--scripts", i);
            if (o.scripts != "auto" && o.scripts != "always" && o.scripts != "never")
                return refuse("--scripts takes auto, always or never" +
                              (o.scripts.empty() ? std::string() : ", not " + o.scripts));
            importOnly.push_back("--scripts");
        } else if (takesValue(a, "--user-agent")) {
            o.userAgent = valueOf(a, "--user-agent", i);
            if (o.userAgent.empty()) return refuse("--user-agent needs a text");
            importOnly.push_back("--user-agent");
        } else if (takesValue(a, "--cookies")) {
            o.cookieFile = valueOf(a, "--cookies", i);
            if (o.cookieFile.empty()) return refuse("--cookies needs a file name");
            importOnly.push_back("--cookies");
        } else if (a == "--force") {
            o.force = true;
            importOnly.push_back(a);
        } else if (a == "--open") {
            o.open = true;
            importOnly.push_back(a);
        } else {
            return refuse("unknown option " + a);
        }
    }
    if (o.action == Action::Window) {
        if (!importOnly.empty()) return refuse(importOnly.front() + " is an option of --import");
        return result;
    }
    if (o.files.empty()) return refuse("--import needs at least one list file");
    return result;
}

std::string refusedArgumentsText(const std::string& error) {
    return "quillfen: " + error + "\nTry 'quillfen --help' for more information.\n";
}

std::string usageText() {
    return "Usage: quillfen [FILE...]\n"
           "       quillfen --import FILE... [--separate-sheets | --one-sheet] [--output PATH.xlsx]\n"
           "                [--force] [--open] [--locale TAG] [--scripts auto|always|never]\n"
           "                [--user-agent TEXT] [--cookies FILE]\n"
           "\n"
           "Pulls the content of many web pages into one spreadsheet workbook.\n"
           "\n"
           "Without --import the window opens, with the entries of each list FILE added\n"
           "to its list. A list file holds one web address a line.\n"
           "\n"
           "  --import             import the entries of the list files without a window\n"
           "                       and print the path of the written workbook\n"
           "  --separate-sheets    each site on a sheet of its own\n"
           "  --one-sheet          every site on one sheet (default: the mode last chosen\n"
           "                       in the window)\n"
           "  --output PATH.xlsx   write the workbook there (default: a new BookN.xlsx in\n"
           "                       the documents folder); an existing file is refused\n"
           "  --force              replace an existing --output file\n"
           "  --open               open the workbook in the desktop's spreadsheet program\n"
           "  --locale TAG         read every page's numbers and dates as the locale TAG\n"
           "                       writes them (a language tag: de-CH, fr-FR, en-GB);\n"
           "                       default: the Locale setting, else decided page by page\n"
           "  --scripts WHEN       render pages built by scripts in a browser: auto (when a\n"
           "                       page looks built by scripts), always or never;\n"
           "                       default: the Scripts setting, else auto\n"
           "  --user-agent TEXT    the User-Agent every request names (default: the\n"
           "                       UserAgent setting, else \"Mozilla/5.0 (compatible;\n"
           "                       Quillfen/VERSION)\")\n"
           "  --cookies FILE       send the cookies of a cookie file in the Netscape format\n"
           "                       (as curl and wget read it) to their sites; the file is\n"
           "                       read at the start and never written (default: the\n"
           "                       CookieFile setting)\n"
           "  --help               show this help and exit\n"
           "  --version            show the version and exit\n"
           "\n"
           "Progress and the entries that could not be read go to standard error.\n"
           "Ctrl+C stops after the entry in hand and writes what was imported.\n"
           "\n"
           "Exit status: 0 every entry was read; 1 some entries could not be read (the\n"
           "workbook is written all the same); 2 bad arguments, an unreadable list file,\n"
           "an existing output file or an output folder that does not exist or may not be\n"
           "written (checked before the first page); 3 the workbook could not be written;\n"
           "130 stopped by Ctrl+C (what was imported is written).\n"
           "\n"
           "Report bugs to " +
           supportEmail() + ".\n";
}

std::string versionText() { return "quillfen " + programVersion() + "\n"; }

}  // namespace qf::cli
