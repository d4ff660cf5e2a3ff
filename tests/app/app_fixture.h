#pragma once
// A start of the main window with everything around it under the test's
// control: a temporary program folder and settings folder, scripted window
// services, a spreadsheet that can be told not to start, and an end of the
// program that is only recorded.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>
#include <string>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/settings_store.h"
#include "base/failure.h"
#include "support/recording_spreadsheet.h"
#include "support/scripted_services.h"

namespace qf::testing {

class RecordingEnd : public ProgramEnd {
public:
    void now() override {
        ++calls;
        if (onEnd) onEnd();
    }
    int calls = 0;
    std::function<void()> onEnd;
};

struct AppStart {
    QTemporaryDir programDir;
    QTemporaryDir settingsDir;
    ScriptedServices ui;
    RecordingSpreadsheet spreadsheet;
    RecordingEnd end;
    std::unique_ptr<SettingsStore> settings = std::make_unique<SettingsStore>(settingsDir.path());
    std::unique_ptr<Form1> form;

    std::string programFolder() const { return QDir::toNativeSeparators(programDir.path()).toStdString(); }

    // Creates the window and runs its start-up; true when the window is shown.
    bool open() {
        form = std::make_unique<Form1>(ui, spreadsheet, *settings, end, programFolder());
        return form->open();
    }

    void writeProgramFile(const char* relativePath, const QByteArray& content) const {
        const QString path = programDir.filePath(QString::fromUtf8(relativePath));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }

    void storeOptions(const char* option1, const char* option2) {
        if (option1) settings->saveSetting("Tarnwick", "Quillfen", "Option1", option1);
        if (option2) settings->saveSetting("Tarnwick", "Quillfen", "Option2", option2);
    }
};

// A file that the build ships next to the program (the hand cursor, for example).
inline QString shippedFile(const QString& name) { return QStringLiteral(QUILLFEN_PROGRAM_DIR "/") + name; }

}  // namespace qf::testing
