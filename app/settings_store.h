#pragma once
// The per-user settings store: texts addressed by application name, section and
// key. On Linux each application name is one INI file in the user's
// configuration folder (~/.config/Tarnwick.ini holds [Quillfen]); on Windows
// the store is the registry branch where per-user program settings live.

#include <QString>
#include <string>

namespace qf {

class SettingsStore {
public:
    // folder: where the INI files live (tests use a temporary folder).
    explicit SettingsStore(QString folder = defaultFolder());

    static QString defaultFolder();

    // The stored text, or the default when the key is missing or the store cannot
    // be read.
    std::string getSetting(const std::string& application, const std::string& section, const std::string& key,
                           const std::string& defaultText) const;

    // Stores the text at once (written through to the file). Fails, naming the
    // file, when it cannot be written.
    void saveSetting(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& text);

    // Where an application's settings are kept.
    QString location(const std::string& application) const;

private:
    QString folder_;
};

// A true/false setting as the store keeps it: "True" or "False".
std::string booleanSettingText(bool value);

// A true/false setting read back: "True" or "False" in any letter case, or a
// number (0 is false). Fails with "Type mismatch" for any other text.
bool booleanSetting(const std::string& text);

}  // namespace qf
