#include "program_info.h"

#include "text.h"

namespace qf {

const std::string& supportEmail() {
    static const std::string address = QUILLFEN_SUPPORT_EMAIL;
    return address;
}

const std::string& programVersion() {
    static const std::string version = QUILLFEN_VERSION;
    return version;
}

std::string applicationTitleFor(std::string_view productName) {
    std::string title(productName);
    if (title.find(' ') == std::string::npos) return title;
    // Length counts characters, not bytes.
    do {
        const auto space = title.rfind(' ');
        if (space == std::string::npos) break;
        title.erase(space);
    } while (utf8CharacterCount(title) > 40);
    return title;
}

const std::string& applicationTitle() {
    static const std::string title = applicationTitleFor(kProductName);
    return title;
}

}  // namespace qf
