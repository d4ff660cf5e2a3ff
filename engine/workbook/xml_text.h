#pragma once
// Reading UTF-8, and making texts fit for the workbook file's XML.
//
// XML 1.0 forbids the C0 control characters other than tab, line feed and
// carriage return, the surrogates U+D800..U+DFFF, and U+FFFE and U+FFFF. A
// strict reader refuses a whole file for one of them, so every text goes
// through one of the two functions below on its way into the file:
// - cell texts (the format has an escape for them): xmlCellText writes such a
//   character as "_xHHHH_", which a spreadsheet reads back as the character;
// - everything else (sheet names, which stand in attributes): xmlNameText
//   replaces it with U+FFFD.
// Surrogates never reach either: UTF-8 cannot carry them, so decoding already
// turns their bytes into U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/text.h"

namespace qf::engine {

// utf8SequenceLength (base/text.h) finds the valid UTF-8 sequences.

// The character of the valid sequence of `length` bytes at s[i].
char32_t utf8Decode(std::string_view s, std::size_t i, std::size_t length);

// Appends the UTF-8 form of a character (U+FFFD for a surrogate or a value past U+10FFFF).
void appendUtf8(std::string& out, char32_t c);

// Whether XML 1.0 allows the character in a document.
constexpr bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The most characters (counted as the file's writer counts them, one a code
// point) that a cell text may have once written.
inline constexpr std::size_t kMaxWrittenCellChars = 32'767;

// A cell text as the file stores it: every character XML forbids, and the
// carriage return (which a reader would turn into a line feed), becomes
// "_xHHHH_"; an underscore that starts a literal "_xHHHH_" becomes "_x005F_" so
// that the sequence reads back as it stood. When the escapes would take the text
// past kMaxWrittenCellChars, the text is written as withoutForbiddenXml gives
// it instead. Invalid UTF-8 becomes U+FFFD.
void xmlCellText(std::string_view utf8, std::string& out);

// A text with every character XML forbids, and every byte that is not valid
// UTF-8, replaced by U+FFFD; nothing else changes.
std::string withoutForbiddenXml(std::string_view utf8);

// A name as an attribute of the file holds it: like withoutForbiddenXml, and tab,
// line feed and carriage return become U+FFFD too (a reader would turn them
// into spaces).
std::string xmlNameText(std::string_view utf8);

}  // namespace qf::engine
