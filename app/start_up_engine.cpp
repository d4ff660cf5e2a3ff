// Start-up with the embedded engine: the command-line forms that open no
// window, the window's command line checked before Qt sees it, and the
// engine (on Windows the installed application where it is registered).

#include "start_up.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "app/engine_settings.h"
#include "app/form1.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "cli/command_line.h"
#include "cli/import_command.h"
#include "platform/platform.h"
#ifdef _WIN32
#include "com/com_spreadsheet.h"
#endif

namespace qf {

namespace {

// On Windows the installed spreadsheet application when it is registered; the
// embedded engine everywhere else.
std::unique_ptr<Spreadsheet> makeSpreadsheet(engine::EngineSettings settings) {
    auto makeEngine = [&settings]() -> std::unique_ptr<Spreadsheet> {
        return std::make_unique<engine::EngineSpreadsheet>(std::move(settings));
    };
#ifdef _WIN32
    return com::makeSpreadsheet(makeEngine);
#else
    return makeEngine();
#endif
}

// Runs quillfen --import / --help / --version; no Qt application object is
// made, so no display is needed. Returns the exit code.
int runWithoutWindow(const std::vector<std::string>& arguments) {
    platform::useUtf8Console();
    cli::Environment environment;
    environment.makeSpreadsheet = [](const cli::Options& options) {
        return makeSpreadsheet(engineSettings(options, SettingsStore()));
    };
    environment.requestProblem = [](const cli::Options& options) {
        return requestProblem(requestSettings(options, SettingsStore()));
    };
    environment.requestWarnings = [](const cli::Options& options) {
        return engine::requestWarnings(requestSettings(options, SettingsStore()));
    };
    environment.knownLocale = [](const std::string& tag) { return engine::knownLocale(tag); };
    environment.browserInstalled = [] { return engine::renderingBrowserInstalled(); };
    environment.browserToInstall = engine::renderingBrowserToInstall();
    environment.rememberedSheetMode = [] { return rememberedSheetMode(SettingsStore()); };
    environment.runLocations = importRunLocations();
    return cli::runWithoutWindow(arguments, environment);
}

// The options QApplication takes out of the arguments on Linux (core, gui,
// widgets and the X11 platform), with one dash or two, anywhere in the line:
// alone, with the next argument as value, or with that or "=value".
constexpr std::string_view kQtAlone[] = {"-reverse", "-testability", "-widgetcount", "-qdevel",
                                         "-qdebug",  "-nograb",      "-dograb"};
constexpr std::string_view kQtWithValue[] = {"-platform",
                                             "-platformpluginpath",
                                             "-platformtheme",
                                             "-plugin",
                                             "-qwindowgeometry",
                                             "-qwindowtitle",
                                             "-qwindowicon",
                                             "-geometry",
                                             "-title",
                                             "-icon",
                                             "-session",
                                             "-display",
                                             "-name",
                                             "-visual",
                                             "-style",
                                             "-stylesheet",
                                             "-qmljsdebugger"};
constexpr std::string_view kQtJoinedToo[] = {"-style", "-stylesheet", "-qmljsdebugger"};

template <std::size_t N>
bool among(std::string_view name, const std::string_view (&names)[N]) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

struct WindowArguments {
    std::vector<std::string> own;  // the program's, Qt's taken out
    std::string platform;          // a -platform given
    bool displayNamed = false;     // -display given
    std::string error;
};

WindowArguments splitQtOptions(const std::vector<std::string>& arguments) {
    WindowArguments result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view a = arguments[i];
        if (a.size() > 2 && a.substr(0, 2) == "--") a.remove_prefix(1);
        const std::string_view name = a.substr(0, a.find('='));
        const bool joined = name.size() < a.size() && among(name, kQtJoinedToo);
        if (among(a, kQtAlone) || joined) continue;
        if (!among(a, kQtWithValue)) {
            result.own.push_back(arguments[i]);
            continue;
        }
        if (i + 1 == arguments.size()) {
            result.error = arguments[i] + " needs a value";
            return result;
        }
        const std::string& value = arguments[++i];
        if (a == "-platform") result.platform = value;
        if (a == "-display") result.displayNamed = true;
    }
    return result;
}

// Checks the window's command line: Qt's own options (which the application
// object takes out) with their values, then the program's. Refused arguments,
// or no display to show the window on, end the program with why on standard
// error.
ProgramStart windowStart(const std::vector<std::string>& arguments) {
    const WindowArguments window = splitQtOptions(arguments);
    std::string error = window.error;
    cli::ParseResult parsed;
    if (error.empty()) {
        parsed = cli::parseArguments(window.own);
        error = parsed.error;
    }
    if (!error.empty()) {
        std::fputs(cli::refusedArgumentsText(error).c_str(), stderr);
        return {cli::exit_code::kBadArguments, {}};
    }
    if (!platform::hasWindowDisplay(window.platform, window.displayNamed)) {
        std::fprintf(stderr,
                     "quillfen: the window needs a display, and there is none (DISPLAY and WAYLAND_DISPLAY are not "
                     "set)\nTo import without a window: quillfen --import FILE...\n");
        return {cli::exit_code::kBadArguments, {}};
    }
    return {std::nullopt, parsed.options.files};
}

}  // namespace

ProgramStart startProgram(int argc, char* argv[]) {
    const std::vector<std::string> arguments = platform::programArguments(argc, argv);
    if (cli::wantsNoWindow(arguments)) return {runWithoutWindow(arguments), {}};
    return windowStart(arguments);
}

std::unique_ptr<Spreadsheet> windowSpreadsheet(const SettingsStore& settings) {
    engine::EngineSettings engineGiven = engineSettings(cli::Options(), settings);
    for (const std::string& warning : engine::requestWarnings(engineGiven.request))
        std::fprintf(stderr, "quillfen: warning: %s\n", warning.c_str());
    return makeSpreadsheet(std::move(engineGiven));
}

}  // namespace qf
