#include "engine_settings.h"

#include <chrono>
#include <exception>

#include "app/settings_keys.h"

namespace qf {

namespace {

// The option when it is given, else the key's text.
std::string optionOrKey(const std::string& option, const SettingsStore& settings, TextKey key) {
    return option.empty() ? readSetting(settings, key) : option;
}

engine::RenderSettings renderSettings(const cli::Options& options, const SettingsStore& settings) {
    engine::RenderSettings render;
    if (const auto mode = engine::scriptsModeNamed(optionOrKey(options.scripts, settings, settings_key::kScripts)))
        render.mode = *mode;
    render.limit = std::chrono::seconds(readSetting(settings, settings_key::kRenderSeconds));
    render.tabs = static_cast<unsigned>(readSetting(settings, settings_key::kRenderTabs));
    return render;
}

}  // namespace

engine::EngineSettings engineSettings(const cli::Options& options, const SettingsStore& settings) {
    engine::EngineSettings result;
    result.output = options.output;
    result.replaceOutput = options.force;
    result.pageOptions.locale =
        options.locale.empty() ? cli::localeTag(readSetting(settings, settings_key::kLocale)) : options.locale;
    result.render = renderSettings(options, settings);
    result.request = requestSettings(options, settings);
    return result;
}

engine::RequestSettings requestSettings(const cli::Options& options, const SettingsStore& settings) {
    engine::RequestSettings request;
    request.userAgent = optionOrKey(options.userAgent, settings, settings_key::kUserAgent);
    request.cookieFile = optionOrKey(options.cookieFile, settings, settings_key::kCookieFile);
    return request;
}

std::string requestProblem(const engine::RequestSettings& request) {
    if (!request.userAgent.empty())
        if (std::string problem = engine::userAgentProblem(request.userAgent); !problem.empty()) return problem;
    try {
        if (!request.cookieFile.empty()) engine::readCookieFile(request.cookieFile);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}

}  // namespace qf
