#pragma once
// The program's keys in the settings store, each with its name as stored, its
// default and how its text reads. Files and registry values written before rely
// on the names, so they never change. The window and start-up read and write
// the store only through these.

#include <string>

#include "import/port/spreadsheet.h"

namespace qf {

class SettingsStore;

// Where the keys live: the section [Quillfen] of Tarnwick.ini (on Windows the
// registry branch Tarnwick\Quillfen).
inline constexpr const char* kSettingsApplication = "Tarnwick";
inline constexpr const char* kSettingsSection = "Quillfen";

// A true/false key, written "True" or "False"; read as booleanSetting reads.
struct BooleanKey {
    const char* name;
    bool fallback;
};

// A text key; missing, it is empty.
struct TextKey {
    const char* name;
};

// A whole number from low to high; written as a decimal number.
struct WholeNumberKey {
    const char* name;
    long fallback;
    long low;
    long high;
};

namespace settings_key {

// The window's option buttons: one sheet for all sites, a sheet for each site.
inline constexpr BooleanKey kOption1{"Option1", true};
inline constexpr BooleanKey kOption2{"Option2", false};
// A language tag every page's values are read in; empty: each page's own.
inline constexpr TextKey kLocale{"Locale"};
// When pages built by scripts are rendered: auto, always or never (in any
// letter case, as the engine reads it); anything else is auto.
inline constexpr TextKey kScripts{"Scripts"};
// How long a page may take to render, in seconds, and how many render at once.
inline constexpr WholeNumberKey kRenderSeconds{"RenderSeconds", 15, 1, 600};
inline constexpr WholeNumberKey kRenderTabs{"RenderTabs", 4, 1, 32};
// The User-Agent every request names; empty: the default.
inline constexpr TextKey kUserAgent{"UserAgent"};
// A cookie file read at the start of each run; empty: none.
inline constexpr TextKey kCookieFile{"CookieFile"};

}  // namespace settings_key

// The key's value, its fallback when it is missing. Fails with "Type mismatch"
// when the stored text is no true/false value.
bool readSetting(const SettingsStore& settings, BooleanKey key);
std::string readSetting(const SettingsStore& settings, TextKey key);
// A stored number out of the range, or no whole number, gives the fallback.
long readSetting(const SettingsStore& settings, WholeNumberKey key);

// Stores the value at once. Fails, naming the file, when it cannot be written.
void saveSetting(SettingsStore& settings, BooleanKey key, bool value);

// The sheet mode last chosen in the window: Option2 decides, as the window
// restores Option1 and then Option2. A value the window would report as
// unreadable leaves the option off.
SheetMode rememberedSheetMode(const SettingsStore& settings);

}  // namespace qf
