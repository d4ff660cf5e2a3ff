// Quillfen: pulls the content of many web pages into one workbook.

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "base/program_info.h"
#include "engine/engine_provider.h"
#ifdef _WIN32
#include "com/com_provider.h"
#endif

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(qf::kProductName);
    QApplication::setApplicationVersion(QString::fromStdString(qf::programVersion()));

    qf::QtWindowServices ui;
    qf::ProcessEnd end;
    qf::engine::EngineSettings engineSettings;
    engineSettings.openWorkbook = qf::workbookOpener(ui, end);
    // On Windows the installed spreadsheet application answers when it is
    // registered; the embedded engine answers everywhere else.
    auto makeEngine = [&engineSettings]() -> std::unique_ptr<qf::automation::Provider> {
        return std::make_unique<qf::engine::EngineProvider>(std::move(engineSettings));
    };
#ifdef _WIN32
    const std::unique_ptr<qf::automation::Provider> chosen = qf::com::makeProvider(makeEngine);
#else
    const std::unique_ptr<qf::automation::Provider> chosen = makeEngine();
#endif
    qf::automation::Provider& provider = *chosen;
    qf::SettingsStore settings;

    qf::Form1 form(ui, provider, settings, end, QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    ui.setWindow(&form);
    if (!form.open()) return 0;
    return application.exec();
}
