#include "text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace qf {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Whether the 32 bytes at p are all ASCII.
bool asciiBlock(const char* p) {
    std::uint64_t words[4];
    std::memcpy(words, p, sizeof words);
    return ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) == 0;
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80) return 1;
    const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (len == 0 || c > 0xF4 || i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k)
        if (!isContinuation(byte(i + k))) return 0;
    const unsigned char c1 = byte(i + 1);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
        return 0;  // overlong, surrogate or beyond U+10FFFF
    return len;
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Plain ASCII 32 bytes at a time.
        if (bytes.size() - i >= 32 && asciiBlock(bytes.data() + i)) {
            i += 32;
            continue;
        }
        const std::size_t length = utf8SequenceLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::size_t utf8CharacterCount(std::string_view s) {
    std::size_t n = 0;
    for (const char c : s)
        if (!isContinuation(static_cast<unsigned char>(c))) ++n;
    return n;
}

std::string_view utf8Prefix(std::string_view s, std::size_t count) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (isContinuation(static_cast<unsigned char>(s[i]))) continue;
        if (characters++ == count) return s.substr(0, i);
    }
    return s;
}

std::size_t utf16Units(std::string_view s) {
    std::size_t units = 0;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (!isContinuation(c)) units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool startsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && sameIgnoringAsciiCase(s.substr(0, prefix.size()), prefix);
}

std::optional<double> decimalText(std::string_view text) {
    const std::string_view t = trimAsciiSpace(text);
    if (t.empty()) return std::nullopt;
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+') ++first;
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<bool> booleanText(std::string_view text) {
    const std::string_view t = trimAsciiSpace(text);
    if (sameIgnoringAsciiCase(t, "True")) return true;
    if (sameIgnoringAsciiCase(t, "False")) return false;
    if (const std::optional<double> number = decimalText(t)) return *number != 0.0;
    return std::nullopt;
}

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

}  // namespace qf
