#include "settings_keys.h"

#include <exception>
#include <optional>

#include "base/text.h"
#include "settings_store.h"

namespace qf {

namespace {

std::string stored(const SettingsStore& settings, const char* name, const std::string& fallback) {
    return settings.getSetting(kSettingsApplication, kSettingsSection, name, fallback);
}

}  // namespace

bool readSetting(const SettingsStore& settings, BooleanKey key) {
    return booleanSetting(stored(settings, key.name, booleanSettingText(key.fallback)));
}

std::string readSetting(const SettingsStore& settings, TextKey key) { return stored(settings, key.name, ""); }

long readSetting(const SettingsStore& settings, WholeNumberKey key) {
    const std::optional<double> value = decimalText(stored(settings, key.name, ""));
    const auto low = static_cast<double>(key.low), high = static_cast<double>(key.high);
    if (!value || *value < low || *value > high || *value != static_cast<double>(static_cast<long>(*value)))
        return key.fallback;
    return static_cast<long>(*value);
}

void saveSetting(SettingsStore& settings, BooleanKey key, bool value) {
    settings.saveSetting(kSettingsApplication, kSettingsSection, key.name, booleanSettingText(value));
}

SheetMode rememberedSheetMode(const SettingsStore& settings) {
    try {
        return readSetting(settings, settings_key::kOption2) ? SheetMode::SheetPerSite : SheetMode::OneSheet;
    } catch (const std::exception&) {
        return SheetMode::OneSheet;
    }
}

}  // namespace qf
