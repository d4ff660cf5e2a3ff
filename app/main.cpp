// Quillfen: pulls the content of many web pages into one workbook.

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/program_files.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "base/failure.h"
#include "base/program_info.h"
#ifdef QUILLFEN_ENGINE
#include "app/command_line_start.h"
#include "cli/command_line.h"
#else
#include "com/com_spreadsheet.h"
#endif

int main(int argc, char* argv[]) {
#ifdef QUILLFEN_ENGINE
    // --import, --help and --version run before any Qt application object exists:
    // they need no display. The window's arguments are checked there too, so that
    // bad ones or a missing display end the program with a message, not Qt's abort.
    const std::vector<std::string> arguments = qf::programArguments(argc, argv);
    if (qf::cli::wantsNoWindow(arguments)) return qf::runWithoutWindow(arguments);
    if (const std::optional<int> refused = qf::refuseWindowStart(arguments, stderr)) return *refused;
#endif

    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QLatin1String(qf::kProductName));
    QApplication::setApplicationVersion(QString::fromStdString(qf::programVersion()));
#ifdef QUILLFEN_ENGINE
    const qf::cli::ParseResult command = qf::cli::parseArguments(qf::ownArguments(arguments));
    if (!command.error.empty()) {
        std::fprintf(stderr, "quillfen: %s\nTry 'quillfen --help' for more information.\n", command.error.c_str());
        return 2;
    }
#endif

    qf::QtWindowServices ui;
    qf::ProcessEnd end([&ui] { return ui.commandWaiting(); });
    qf::SettingsStore settings;
#ifdef QUILLFEN_ENGINE
    qf::engine::EngineSettings engineSettings;
    engineSettings.pageOptions.locale = qf::rememberedLocale(settings);
    engineSettings.render = qf::rememberedRenderSettings(settings);
    engineSettings.request = qf::rememberedRequest(settings);
    for (const std::string& warning : qf::engine::requestWarnings(engineSettings.request))
        std::fprintf(stderr, "quillfen: warning: %s\n", warning.c_str());
    const std::unique_ptr<qf::Spreadsheet> spreadsheet = qf::makeSpreadsheet(std::move(engineSettings));
#else
    // Without the embedded engine the installed spreadsheet application is the
    // only one: where it is not registered nothing can be created, and the
    // presence check at start shows its advice and ends the program.
    const std::unique_ptr<qf::Spreadsheet> spreadsheet = qf::com::makeSpreadsheet(nullptr);
#endif

    const std::string programFolder =
        qf::programFilesFolder(QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    qf::Form1 form(ui, *spreadsheet, settings, end, programFolder);
    ui.setWindow(&form);
    if (!form.open()) return 0;
#ifdef QUILLFEN_ENGINE
    form.loadListFiles(command.options.files);
#endif
    return application.exec();
}
