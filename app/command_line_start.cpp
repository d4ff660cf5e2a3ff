#include "command_line_start.h"

#include "app/form1.h"
#include "app/settings_store.h"
#include "cli/import_command.h"
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

std::vector<std::string> programArguments(int argc, char* argv[]) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

int runWithoutWindow(const std::vector<std::string>& arguments) {
    cli::Environment environment;
    environment.makeSpreadsheet = [](const std::string& output, bool replace) {
        engine::EngineSettings settings;
        settings.output = output;
        settings.replaceOutput = replace;
        return makeSpreadsheet(std::move(settings));
    };
    environment.rememberedSheetMode = [] { return rememberedSheetMode(SettingsStore()); };
    return cli::runWithoutWindow(arguments, environment);
}

}  // namespace qf
