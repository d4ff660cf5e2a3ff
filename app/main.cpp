// Quillfen: pulls the content of many web pages into one workbook.

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "base/program_info.h"
#include "engine/engine_provider.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(qf::kProductName);
    QApplication::setApplicationVersion(QString::fromStdString(qf::programVersion()));

    qf::QtWindowServices ui;
    qf::engine::EngineSettings engineSettings;
    engineSettings.openWorkbook = [&ui](const std::string& path) {
        if (!ui.openDocument(path)) std::fprintf(stderr, "The workbook was saved as %s\n", path.c_str());
    };
    qf::engine::EngineProvider provider(std::move(engineSettings));
    qf::SettingsStore settings;
    qf::ProcessEnd end;

    qf::Form1 form(ui, provider, settings, end, QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    ui.setWindow(&form);
    if (!form.open()) return 0;
    return application.exec();
}
