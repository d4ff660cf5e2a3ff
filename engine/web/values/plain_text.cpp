#include "plain_text.h"

#include "base/text.h"

namespace qf::engine {

bool plainText(std::string_view text, std::string& out) {
    out.clear();
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        char put = c;
        std::size_t skip = 0;
        if (isHtmlSpace(c)) {
            put = ' ';
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            const std::string_view rest = text.substr(i, 3);
            if (rest.substr(0, 2) == "\xC2\xA0") {
                put = ' ';
                skip = 1;
            } else if (rest == "\xE2\x80\xAF" || rest == "\xE2\x80\x89" || rest == "\xE2\x80\x87" ||
                       rest == "\xE2\x80\x8A") {
                put = ' ';
                skip = 2;
            } else if (rest == "\xE2\x88\x92") {
                put = '-';
                skip = 2;
            } else if (rest == "\xE2\x80\x99") {
                put = '\'';
                skip = 2;
            } else if (rest == "\xE2\x80\x8E" || rest == "\xE2\x80\x8F" || rest.substr(0, 2) == "\xD8\x9C") {
                i += rest.substr(0, 2) == "\xD8\x9C" ? 1u : 2u;
                continue;
            }
        }
        i += skip;
        if (put == ' ') {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        if (out.size() >= kMaxValueLength) return false;
        if (skip == 0 && static_cast<unsigned char>(c) >= 0x80) {
            out.push_back(c);
        } else {
            out.push_back(put);
        }
    }
    return true;
}

}  // namespace qf::engine
