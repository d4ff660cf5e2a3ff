#include "command_line_start.h"

#include "app/form1.h"
#include "app/settings_store.h"
#include "cli/import_command.h"
#include "automation/variant.h"
#include "platform/platform.h"
#ifdef _WIN32
#include "com/com_provider.h"
#endif

namespace qf {

std::unique_ptr<automation::Provider> makeSpreadsheetProvider(engine::EngineSettings settings) {
    auto makeEngine = [&settings]() -> std::unique_ptr<automation::Provider> {
        return std::make_unique<engine::EngineProvider>(std::move(settings));
    };
#ifdef _WIN32
    return com::makeProvider(makeEngine);
#else
    return makeEngine();
#endif
}

bool rememberedSeparateSheets(const SettingsStore& settings) {
    // The window sets Option1 and then Option2; Option2 decides. A value it would
    // report as unreadable leaves the option off.
    try {
        return automation::Variant(settings.getSetting(kSettingsApplication, kSettingsSection, "Option2", "0"))
            .toBool();
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> programArguments(int argc, char* argv[]) { return platform::programArguments(argc, argv); }

int runWithoutWindow(const std::vector<std::string>& arguments) {
    platform::useUtf8Console();
    cli::Environment environment;
    environment.makeProvider = [](cli::WorkbookDestination destination) {
        engine::EngineSettings settings;
        settings.outputPath = destination.outputPath;
        settings.replaceOutput = destination.replace;
        settings.openWorkbook = std::move(destination.written);
        return makeSpreadsheetProvider(std::move(settings));
    };
    environment.rememberedSeparateSheets = [] { return rememberedSeparateSheets(SettingsStore()); };
    return cli::runWithoutWindow(arguments, environment);
}

}  // namespace qf
