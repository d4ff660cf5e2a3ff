#pragma once
// Windows only: text between this program's UTF-8 and the UTF-16 that the
// system's calls take, and the system's words for an error code. For the
// system seam's Windows sources.

#include <cstddef>
#include <string>

namespace qf::platform::windows {

std::wstring wide(const std::string& utf8);

// UTF-16 code units as UTF-8: size of them, or up to the terminating NUL.
std::string utf8(const wchar_t* text, std::size_t size);
std::string utf8(const wchar_t* text);

// What the system says of an error code (GetLastError's), without the line end.
std::string systemText(unsigned long error);

}  // namespace qf::platform::windows
