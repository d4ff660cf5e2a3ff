// Quillfen: pulls the content of many web pages into one workbook.

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>

#include "app/command_line_start.h"
#include "app/form1.h"
#include "app/program_end.h"
#include "app/program_files.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "base/program_info.h"
#include "cli/command_line.h"

int main(int argc, char* argv[]) {
    // --import, --help and --version run before any Qt application object exists:
    // they need no display.
    if (qf::cli::wantsNoWindow(qf::programArguments(argc, argv)))
        return qf::runWithoutWindow(qf::programArguments(argc, argv));

    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(qf::kProductName);
    QApplication::setApplicationVersion(QString::fromStdString(qf::programVersion()));
    const qf::cli::ParseResult command = qf::cli::parseArguments(qf::programArguments(argc, argv));
    if (!command.error.empty()) {
        std::fprintf(stderr, "quillfen: %s\nTry 'quillfen --help' for more information.\n", command.error.c_str());
        return 2;
    }

    qf::QtWindowServices ui;
    qf::ProcessEnd end;
    qf::engine::EngineSettings engineSettings;
    engineSettings.openWorkbook = qf::workbookOpener(ui, end);
    const std::unique_ptr<qf::automation::Provider> provider = qf::makeSpreadsheetProvider(std::move(engineSettings));
    qf::SettingsStore settings;

    const std::string programFolder =
        qf::programFilesFolder(QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    qf::Form1 form(ui, *provider, settings, end, programFolder);
    ui.setWindow(&form);
    if (!form.open()) return 0;
    form.loadListFiles(command.options.files);
    return application.exec();
}
