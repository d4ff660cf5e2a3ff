#include "settings_store.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <memory>

#include "base/failure.h"
#include "base/text.h"

namespace qf {

namespace {

std::unique_ptr<QSettings> open(const QString& folder, const std::string& application) {
#ifdef Q_OS_WIN
    if (folder.isEmpty())
        return std::make_unique<QSettings>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") +
                QString::fromStdString(application),
            QSettings::NativeFormat);
#endif
    return std::make_unique<QSettings>(folder + u'/' + QString::fromStdString(application) + QStringLiteral(".ini"),
                                       QSettings::IniFormat);
}

QString key(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + u'/' + QString::fromStdString(key);
}

}  // namespace

SettingsStore::SettingsStore(QString folder) : folder_(std::move(folder)) {}

QString SettingsStore::defaultFolder() {
#ifdef Q_OS_WIN
    return {};
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
}

QString SettingsStore::location(const std::string& application) const { return open(folder_, application)->fileName(); }

std::string SettingsStore::getSetting(const std::string& application, const std::string& section,
                                      const std::string& name, const std::string& defaultText) const {
    const auto settings = open(folder_, application);
    const QVariant value = settings->value(key(section, name));
    if (!value.isValid()) return defaultText;
    // A value with commas reads back as a list: give the text as it stands in the file.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", ")).toStdString();
    return value.toString().toStdString();
}

void SettingsStore::saveSetting(const std::string& application, const std::string& section, const std::string& name,
                                const std::string& text) {
    const auto settings = open(folder_, application);
    settings->setValue(key(section, name), QString::fromStdString(text));
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw Failure("The settings could not be saved to " +
                      QDir::toNativeSeparators(settings->fileName()).toStdString() + ".");
}

std::string booleanSettingText(bool value) { return value ? "True" : "False"; }

bool booleanSetting(const std::string& text) {
    const std::optional<bool> value = booleanText(text);
    if (!value) throw Failure(failure_text::kTypeMismatch);
    return *value;
}

}  // namespace qf
