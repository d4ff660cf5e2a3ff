#pragma once
// URL text files: one entry per line, read only. And the clean-up of the paths
// that "Load URLs From Text File" builds from the dialog's answer.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/window_services.h"
#include "base/text.h"
#include "url_store.h"

namespace qf {

// The entries of a file's text: one per line, where a line ends at a CR LF
// pair, a lone CR or a lone LF. A blank line inside the text is an empty entry;
// the line end after the last line adds none (text after the last line end is
// an entry only when there is some).
// The spans point into text. nonAscii, when given, tells whether any byte of
// the text lies outside ASCII.
std::vector<UrlStore::Span> splitUrlLines(std::string_view text, bool* nonAscii = nullptr);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves unassigned
// stand for the control characters of the same number, so nothing is lost.
std::string windows1252ToUtf8(std::string_view bytes);

// UTF-16 bytes in the given order as UTF-8; none when they are not UTF-16 (an
// odd number of bytes, a surrogate without its partner).
std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Whether bytes hold no control character but those text files hold (tab, the
// line ends, form feed and the like): a NUL or another one marks a file that
// is no text.
bool holdsOnlyText(std::string_view bytes);

// Appends the lines of the file at path to the list, or shows "File not found"
// when the file does not exist. A file that begins with a UTF-16 byte order
// mark is read as UTF-16; any other, after a UTF-8 byte order mark if it has
// one, as UTF-8 when its bytes are valid UTF-8, else as Windows-1252. A file
// that is no text in any of these (a NUL or another control byte in it) raises
// the Failure "not a text file" before anything is appended. A file that
// cannot be opened or read raises a Failure; the lines read before a read
// error are appended first.
void readUrlTextFile(UrlStore& list, WindowServices& ui, const std::string& path);

// Collapses doubled backslashes, keeping two at the front of a network path.
std::string cleanWindowsPath(std::string_view path);
// Collapses every run of slashes into one.
std::string cleanPosixPath(std::string_view path);
// The clean-up for this platform's paths.
std::string cleanPath(std::string_view path);

// The separator between a folder and a file name on this platform.
inline constexpr char kPathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

}  // namespace qf
