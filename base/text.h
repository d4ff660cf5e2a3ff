#pragma once
// Small text helpers every layer shares: UTF-8 checks and counts, ASCII
// comparison in any letter case, white space and trimming. No locale is
// consulted.

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

// The first count characters of a UTF-8 text (counted as utf8CharacterCount
// counts them), or the whole text when it has no more.
std::string_view utf8Prefix(std::string_view s, std::size_t count);

// UTF-16 code units of a valid UTF-8 text: one a character, two for a character
// beyond U+FFFF (a 4-byte sequence).
std::size_t utf16Units(std::string_view s);

// An ASCII capital letter as a small one; any other byte as it is.
constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

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

// ASCII's white space (space, tab, line feed, vertical tab, form feed,
// carriage return), as the C library's isspace has it in the "C" locale.
inline bool isAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A control character: below the space, and DEL.
inline bool isAsciiControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// A text without the characters a test picks at its end, or at either end.
template <class Picks>
std::string_view trimEndWhere(std::string_view s, Picks picks) {
    while (!s.empty() && picks(s.back())) s.remove_suffix(1);
    return s;
}
template <class Picks>
std::string_view trimWhere(std::string_view s, Picks picks) {
    while (!s.empty() && picks(s.front())) s.remove_prefix(1);
    return trimEndWhere(s, picks);
}

// A text without any of the characters of set at either end, or at its end only.
inline std::string_view trimAny(std::string_view s, std::string_view set) {
    return trimWhere(s, [set](char c) { return set.find(c) != std::string_view::npos; });
}
inline std::string_view trimEndAny(std::string_view s, std::string_view set) {
    return trimEndWhere(s, [set](char c) { return set.find(c) != std::string_view::npos; });
}

// A text without ASCII's white space at either end.
inline std::string_view trimAsciiSpace(std::string_view s) { return trimWhere(s, isAsciiSpace); }

// HTML's white space (space, tab, line feed, carriage return, form feed), and
// a text without it at either end.
inline bool isHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
inline std::string_view trimHtmlSpace(std::string_view s) { return trimWhere(s, isHtmlSpace); }

}  // namespace qf
