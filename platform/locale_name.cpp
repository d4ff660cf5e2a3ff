#include "platform.h"

namespace qf::platform {

std::string localeNameToTag(std::string_view name) {
    std::string_view modifier;
    if (const std::size_t at = name.find('@'); at != std::string_view::npos) {
        modifier = name.substr(at + 1);
        name = name.substr(0, at);
    }
    name = name.substr(0, name.find('.'));  // the character set
    const std::size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    const std::string_view region =
        underscore == std::string_view::npos ? std::string_view() : name.substr(underscore + 1);
    auto letters = [](std::string_view s, std::size_t least, std::size_t most) {
        if (s.size() < least || s.size() > most) return false;
        for (char c : s)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
        return true;
    };
    if (!letters(language, 2, 3) || (!region.empty() && !letters(region, 2, 3))) return {};
    std::string tag(language);
    if (modifier == "latin") tag += "-Latn";
    if (modifier == "cyrillic") tag += "-Cyrl";
    if (!region.empty()) tag += "-" + std::string(region);
    return tag;
}

}  // namespace qf::platform
