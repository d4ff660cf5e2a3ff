#include "format_codes.h"

namespace qf::engine {

FormatId FormatCodes::format(std::string_view code) {
    if (code.empty()) return 0;
    const auto it = formats_.find(code);
    if (it != formats_.end()) return it->second;
    const FormatId id = intern_(code);
    formats_.emplace(std::string(code), id);
    return id;
}

void appendLiteral(std::string& code, std::string_view text, bool quote) {
    if (text.empty()) return;
    if (!quote && text.find_first_not_of(" ,./-:") == std::string_view::npos) {
        code += text;
        return;
    }
    code += '"';
    for (char c : text)
        if (c != '"') code += c;
    code += '"';
}

}  // namespace qf::engine
