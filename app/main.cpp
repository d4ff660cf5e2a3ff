// Quillfen: pulls the content of many web pages into one workbook.

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <memory>
#include <string_view>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/qt_window_services.h"
#include "app/settings_store.h"
#include "base/failure.h"
#include "base/program_info.h"
#ifdef QUILLFEN_ENGINE
#include "engine/engine_provider.h"
#endif
#ifdef _WIN32
#include "com/com_provider.h"
#endif

namespace {

#if defined(_WIN32) && !defined(QUILLFEN_ENGINE)
// Without the embedded engine the installed spreadsheet application is the only
// one: where it is not registered nothing can be created, and the presence
// check at start shows its advice and ends the program.
class NoSpreadsheet : public qf::automation::Provider {
public:
    qf::automation::Object create(std::string_view) override { throw qf::Failure(qf::failure_text::kCannotCreateObject); }
    qf::automation::Object getRunning(std::string_view) override {
        throw qf::Failure(qf::failure_text::kCannotCreateObject);
    }
};
#endif

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(qf::kProductName);
    QApplication::setApplicationVersion(QString::fromStdString(qf::programVersion()));

    qf::QtWindowServices ui;
#ifdef QUILLFEN_ENGINE
    qf::engine::EngineSettings engineSettings;
    engineSettings.openWorkbook = [&ui](const std::string& path) {
        if (!ui.openDocument(path)) std::fprintf(stderr, "The workbook was saved as %s\n", path.c_str());
    };
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
#else
    const std::unique_ptr<qf::automation::Provider> chosen =
        qf::com::makeProvider([] { return std::make_unique<NoSpreadsheet>(); });
#endif
    qf::automation::Provider& provider = *chosen;
    qf::SettingsStore settings;
    qf::ProcessEnd end;

    qf::Form1 form(ui, provider, settings, end, QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    ui.setWindow(&form);
    if (!form.open()) return 0;
    return application.exec();
}
