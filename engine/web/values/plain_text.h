#pragma once
// A cell's text made plain for the readers: one kind of space, one minus sign,
// one grouping apostrophe, and the character tests they share.

#include <cstddef>
#include <string>
#include <string_view>

namespace qf::engine {

// Longer texts are never values; the bound also keeps the work per cell small.
inline constexpr std::size_t kMaxValueLength = 96;

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Copies the text without its surrounding spaces, every kind of space as one
// ASCII space, the minus sign U+2212 as "-", the right single quote U+2019 (a
// grouping mark) as "'", and without the invisible direction marks. Returns
// false when the text is too long to be a value.
bool plainText(std::string_view text, std::string& out);

}  // namespace qf::engine
