#pragma once
// What the embedded engine is given, for the window and for quillfen --import
// alike: each option the command line gives, else the key of the settings that
// stands for it (settings_keys.h), else the engine's default.

#include <string>

#include "cli/command_line.h"
#include "engine/engine_spreadsheet.h"

namespace qf {

class SettingsStore;

// The engine's settings for these options (the window's name none of them):
// the output file, the locale (the Locale key; a tag CLDR does not know reads
// each page as its own), how pages built by scripts are rendered (--scripts,
// else the Scripts key; the keys RenderSeconds and RenderTabs) and the
// requests (see requestSettings).
engine::EngineSettings engineSettings(const cli::Options& options, const SettingsStore& settings);

// How the requests present themselves: --user-agent and --cookies, else the
// keys UserAgent and CookieFile; empty where neither names one.
engine::RequestSettings requestSettings(const cli::Options& options, const SettingsStore& settings);

// Why these requests cannot be made: a user agent that cannot be sent, a
// cookie file that cannot be read (with its line); empty when they can.
std::string requestProblem(const engine::RequestSettings& request);

}  // namespace qf
