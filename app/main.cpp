// Quillfen: pulls the content of many web pages into one workbook.

#include <QApplication>
#include <QDir>
#include <memory>
#include <string>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/program_files.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "app/start_up.h"
#include "base/program_info.h"

int main(int argc, char* argv[]) {
    const qf::ProgramStart start = qf::startProgram(argc, argv);
    if (start.exitCode) return *start.exitCode;

    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QLatin1String(qf::kProductName));
    QApplication::setApplicationVersion(QString::fromStdString(qf::programVersion()));

    qf::QtWindowServices ui;
    qf::ProcessEnd end([&ui] { return ui.commandWaiting(); });
    qf::SettingsStore settings;
    const std::unique_ptr<qf::Spreadsheet> spreadsheet = qf::windowSpreadsheet(settings);
    const std::string programFolder =
        qf::programFilesFolder(QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    qf::Form1 form(ui, *spreadsheet, settings, end, programFolder);
    ui.setWindow(&form);
    if (!form.open()) return 0;
    form.loadListFiles(start.listFiles);
    return application.exec();
}
