#include "command_line_start.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "app/form1.h"
#include "app/settings_store.h"
#include "base/text.h"
#include "cli/command_line.h"
#include "cli/import_command.h"
#include "platform/platform.h"
#ifdef _WIN32
#include "com/com_spreadsheet.h"
#endif

namespace qf {

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

SheetMode rememberedSheetMode(const SettingsStore& settings) {
    // The window sets Option1 and then Option2; Option2 decides. A value it would
    // report as unreadable leaves the option off.
    try {
        return booleanSetting(settings.getSetting(kSettingsApplication, kSettingsSection, "Option2", "0"))
                   ? SheetMode::SheetPerSite
                   : SheetMode::OneSheet;
    } catch (const std::exception&) {
        return SheetMode::OneSheet;
    }
}

std::string rememberedLocale(const SettingsStore& settings) {
    // A tag CLDR does not know reads pages as if there were none.
    return cli::localeTag(settings.getSetting(kSettingsApplication, kSettingsSection, "Locale", ""));
}

engine::RenderSettings rememberedRenderSettings(const SettingsStore& settings, const std::string& scriptsOption) {
    engine::RenderSettings render;
    const auto key = [&settings](const char* name) {
        return settings.getSetting(kSettingsApplication, kSettingsSection, name, "");
    };
    const std::string scripts = scriptsOption.empty() ? key("Scripts") : scriptsOption;
    if (const auto mode = engine::scriptsModeNamed(scripts)) render.mode = *mode;
    // A whole number within the range, else none.
    const auto number = [](const std::string& text, double low, double high) -> std::optional<long> {
        const std::optional<double> value = decimalText(text);
        if (!value || *value < low || *value > high || *value != static_cast<double>(static_cast<long>(*value)))
            return std::nullopt;
        return static_cast<long>(*value);
    };
    if (const auto seconds = number(key("RenderSeconds"), 1, 600)) render.limit = std::chrono::seconds(*seconds);
    if (const auto tabs = number(key("RenderTabs"), 1, 32)) render.tabs = static_cast<unsigned>(*tabs);
    return render;
}

engine::RequestSettings rememberedRequest(const SettingsStore& settings) {
    engine::RequestSettings request;
    request.userAgent = settings.getSetting(kSettingsApplication, kSettingsSection, "UserAgent", "");
    request.cookieFile = settings.getSetting(kSettingsApplication, kSettingsSection, "CookieFile", "");
    return request;
}

std::vector<std::string> programArguments(int argc, char* argv[]) { return platform::programArguments(argc, argv); }

namespace {

// The options given, else the remembered settings.
engine::RequestSettings requestFor(const cli::Options& options) {
    engine::RequestSettings request = rememberedRequest(SettingsStore());
    if (!options.userAgent.empty()) request.userAgent = options.userAgent;
    if (!options.cookieFile.empty()) request.cookieFile = options.cookieFile;
    return request;
}

}  // namespace

int runWithoutWindow(const std::vector<std::string>& arguments) {
    platform::useUtf8Console();
    cli::Environment environment;
    environment.makeSpreadsheet = [](const cli::Options& options) {
        engine::EngineSettings settings;
        settings.output = options.output;
        settings.replaceOutput = options.force;
        const SettingsStore stored;
        settings.pageOptions.locale = options.locale.empty() ? rememberedLocale(stored) : options.locale;
        settings.render = rememberedRenderSettings(stored, options.scripts);
        settings.request = requestFor(options);
        return makeSpreadsheet(std::move(settings));
    };
    environment.requestProblem = [](const cli::Options& options) -> std::string {
        const engine::RequestSettings request = requestFor(options);
        if (!request.userAgent.empty())
            if (std::string problem = engine::userAgentProblem(request.userAgent); !problem.empty()) return problem;
        try {
            if (!request.cookieFile.empty()) engine::readCookieFile(request.cookieFile);
        } catch (const std::exception& failure) {
            return failure.what();
        }
        return {};
    };
    environment.requestWarnings = [](const cli::Options& options) {
        return engine::requestWarnings(requestFor(options));
    };
    environment.knownLocale = [](const std::string& tag) { return engine::knownLocale(tag); };
    environment.browserInstalled = [] { return engine::renderingBrowserInstalled(); };
    environment.browserToInstall = engine::renderingBrowserToInstall();
    environment.rememberedSheetMode = [] { return rememberedSheetMode(SettingsStore()); };
    environment.runLocations = importRunLocations();
    return cli::runWithoutWindow(arguments, environment);
}

namespace {

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

#if !defined(_WIN32) && !defined(__APPLE__)
bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}
#endif

// Whether Qt has a display to show the window on. Of the platforms asked for
// (-platform, else QT_QPA_PLATFORM: a list split by ';', each "name:options"),
// only xcb and Wayland need one; any other (offscreen, vnc, ...) is left to Qt.
bool hasDisplay(const WindowArguments& window) {
#if defined(_WIN32) || defined(__APPLE__)
    (void)window;
    return true;
#else
    std::string platforms = window.platform;
    if (platforms.empty() && isSet("QT_QPA_PLATFORM")) platforms = std::getenv("QT_QPA_PLATFORM");
    for (std::size_t start = 0; start < platforms.size();) {
        std::size_t end = platforms.find(';', start);
        if (end == std::string::npos) end = platforms.size();
        const std::string entry = platforms.substr(start, end - start);
        const std::string name = entry.substr(0, entry.find(':'));
        if (!name.empty() && name != "xcb" && name.rfind("wayland", 0) != 0) return true;
        start = end + 1;
    }
    return window.displayNamed || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
#endif
}

}  // namespace

std::vector<std::string> ownArguments(const std::vector<std::string>& arguments) {
    return splitQtOptions(arguments).own;
}

std::optional<int> refuseWindowStart(const std::vector<std::string>& arguments, std::FILE* err) {
    const WindowArguments window = splitQtOptions(arguments);
    std::string error = window.error;
    if (error.empty()) error = cli::parseArguments(window.own).error;
    if (!error.empty()) {
        std::fprintf(err, "quillfen: %s\nTry 'quillfen --help' for more information.\n", error.c_str());
        return cli::exit_code::kBadArguments;
    }
    if (!hasDisplay(window)) {
        std::fprintf(err,
                     "quillfen: the window needs a display, and there is none (DISPLAY and WAYLAND_DISPLAY are not "
                     "set)\nTo import without a window: quillfen --import FILE...\n");
        return cli::exit_code::kBadArguments;
    }
    return std::nullopt;
}

}  // namespace qf
