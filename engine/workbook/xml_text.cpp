#include "xml_text.h"

#include <cstdio>

namespace qf::engine {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Characters a cell text writes escaped: the ones XML forbids, and the carriage
// return, which a reader would otherwise read as a line feed.
bool escapedInCell(char32_t c) { return c == 0xD || !isXmlChar(c); }

// Whether a reader would take what is written from s[i] on for an escaped
// character "_xHHHH_": "_xHHHH" followed by an underscore, or by a character
// that is itself written escaped, since its escape begins with one.
bool escapeLikeAt(std::string_view s, std::size_t i) {
    if (!(s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && isHexDigit(s[i + 2]) && isHexDigit(s[i + 3]) &&
          isHexDigit(s[i + 4]) && isHexDigit(s[i + 5])))
        return false;
    if (s[i + 6] == '_') return true;
    const std::size_t length = utf8SequenceLength(s, i + 6);
    return length != 0 && escapedInCell(utf8Decode(s, i + 6, length));
}

void appendEscape(std::string& out, char32_t c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "_x%04X_", static_cast<unsigned>(c));
    out += buf;
}

// The text with every character that `keep` refuses, and every byte that is not
// valid UTF-8, replaced by U+FFFD.
template <class Keep>
std::string replaced(std::string_view text, Keep keep) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8SequenceLength(text, i);
        if (length == 0 || !keep(utf8Decode(text, i, length))) {
            out += kReplacement;
            i += length == 0 ? 1 : length;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

}  // namespace

char32_t utf8Decode(std::string_view s, std::size_t i, std::size_t length) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (length == 1) return lead;
    char32_t c = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

void xmlCellText(std::string_view text, std::string& out) {
    // Bytes that stand as they are (most of every text) are copied a run at a
    // time; only a control character, an underscore, a byte from 0x80 and the
    // end of the text stop a run.
    out.clear();
    bool escaped = false;
    std::size_t run = 0;
    auto flush = [&](std::size_t end) { out.append(text, run, end - run); };
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b >= 0x20 && b < 0x80 && b != '_') || b == '\t' || b == '\n') {
            ++i;
            continue;
        }
        if (b >= 0x80) {
            const std::size_t length = utf8SequenceLength(text, i);
            const bool forbidden = length != 0 && escapedInCell(utf8Decode(text, i, length));
            if (length != 0 && !forbidden) {
                i += length;
                continue;
            }
            flush(i);
            if (length == 0) {
                out += kReplacement;
                ++i;
            } else {
                appendEscape(out, utf8Decode(text, i, length));
                escaped = true;
                i += length;
            }
        } else if (b == '_') {
            if (!escapeLikeAt(text, i)) {
                ++i;
                continue;
            }
            flush(i);
            out += "_x005F_";
            escaped = true;
            ++i;
        } else {  // a control character, or the carriage return
            flush(i);
            appendEscape(out, b);
            escaped = true;
            ++i;
        }
        run = i;
    }
    flush(text.size());
    // No room for the escapes: each character that cannot stand takes the one
    // place of U+FFFD, and literal sequences stay as they are.
    if (escaped && utf8CharacterCount(out) > kMaxWrittenCellChars) out = withoutForbiddenXml(text);
}

std::string withoutForbiddenXml(std::string_view text) { return replaced(text, isXmlChar); }

std::string xmlNameText(std::string_view text) {
    return replaced(text, [](char32_t c) { return c >= 0x20 && isXmlChar(c); });
}

}  // namespace qf::engine
