#pragma once
// Small text helpers every layer shares: UTF-8 checks and counts, and ASCII
// comparison in any letter case. No locale is consulted.

#include <cstddef>
#include <optional>
#include <string_view>

namespace qf {

// Length of the valid UTF-8 sequence at s[i] (1 to 4), or 0 when the bytes there
// are not valid UTF-8 (cut short, overlong, a surrogate, beyond U+10FFFF).
std::size_t utf8SequenceLength(std::string_view s, std::size_t i);

// Whether all of the bytes are valid UTF-8.
bool isValidUtf8(std::string_view bytes);

// Characters of a UTF-8 text: every byte that is not a continuation byte.
std::size_t utf8CharacterCount(std::string_view s);

// UTF-16 code units of a valid UTF-8 text: one a character, two for a character
// beyond U+FFFF (a 4-byte sequence).
std::size_t utf16Units(std::string_view s);

// An ASCII capital letter as a small one; any other byte as it is.
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether two texts are the same when ASCII letters are compared in any case.
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);

// Whether s begins with prefix, ASCII letters compared in any case.
bool startsWithIgnoringAsciiCase(std::string_view s, std::string_view prefix);

// A decimal number written as text ("12", "-3.5", "+1e3", blanks around it
// allowed), as late binding reads one; empty for anything else.
std::optional<double> decimalText(std::string_view text);

// A true/false value written as text, as late binding reads one: "True" or
// "False" in any letter case, or a decimal number (0 is false), blanks around
// it allowed; empty for anything else.
std::optional<bool> booleanText(std::string_view text);

// HTML's white space (space, tab, line feed, carriage return, form feed), and
// a text without it at either end.
inline bool isHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
inline std::string_view trimHtmlSpace(std::string_view s) {
    while (!s.empty() && isHtmlSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isHtmlSpace(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace qf
