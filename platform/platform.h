#pragma once
// What the engine needs from the operating system, behind one seam: temporary
// files put safely on the disk, publishing a finished file under a name without
// overwriting one, the user's folders, a folder in memory for short-lived
// files, how many files the process may hold open, the system's character set
// converters, and what the console is (a terminal, how wide). posix.cpp serves
// Linux and the other POSIX systems, windows.cpp serves Windows. No Qt.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf::platform {

enum class Publish { Done, NameTaken };

// Gives the finished file at temp the name target, but only if that name is
// free; temp is gone afterwards unless the name was taken. Throws
// qf::Failure with the system's text when neither can be done.
Publish publishWithoutOverwriting(const std::string& temp, const std::string& target);

// Creates a new, empty file in folder whose name starts with prefix and is
// free at that moment, with the permissions any new file of the user gets (on
// POSIX systems what the umask leaves of 0666); returns its path. Throws
// qf::Failure with the system's text when it cannot be created.
std::string createTemporaryFile(const std::string& folder, const std::string& prefix);

// Puts the file's content on the disk before returning. Throws qf::Failure
// with the system's text; a file that cannot be synced at all is no failure.
void flushFileToDisk(const std::string& path);

// Puts a folder's entries (a file just named in it) on the disk, as far as the
// system allows; never fails.
void flushFolderToDisk(const std::string& folder) noexcept;

// Whether something (a file, a folder, a link even if it leads nowhere) has
// this name.
bool nameTaken(const std::string& path);

// Gives the file at from the name to, replacing a file of that name. Throws
// qf::Failure with the system's text.
void replaceFile(const std::string& from, const std::string& to);

// Removes the file if it is there; never fails.
void removeFile(const std::string& path) noexcept;

// Whether users other than the file's owner may read or change it (its
// permissions on POSIX systems); false when it is not there, and on Windows.
bool openToOthers(const std::string& path);

// The user's home folder.
std::string homeFolder();

// The proxy the user's system settings name for an address: empty for a direct
// connection, else the proxy's address ("http://proxy:8080"); none when the
// system leaves it to the environment's variables (http_proxy and the others,
// which libcurl reads itself). POSIX: always none. Windows: none when one of
// those variables is set, else the user's Internet settings through WinHTTP:
// the automatic configuration script (detected, or at its address) first, then
// the fixed proxy with its bypass list ("<local>" and patterns such as
// "*.example.org"). Any thread; the answers are kept per scheme and host.
std::optional<std::string> systemProxyFor(const std::string& address);

// From a proxy list as Windows' settings write it ("proxy:8080",
// "http=p1:80;https=p2:443"), the proxy for a scheme ("http://p1:80"); empty
// when the list names none for it.
std::string proxyFromList(std::string_view list, std::string_view scheme);

// Whether a host is in a proxy bypass list as Windows' settings write it
// ("<local>;*.example.org;10.*"): "<local>" is any name without a dot.
bool bypassesProxy(std::string_view list, std::string_view host);

// The user's documents folder (on Linux XDG_DOCUMENTS_DIR from user-dirs.dirs,
// else ~/Documents); it may not exist yet.
std::string documentsFolder();

// A folder held in memory (not on a disk) where the user may create files and
// at least `bytes` are free, for temporary files that live a moment; none when
// the system has no such folder.
std::optional<std::string> memoryTemporaryFolder(std::uint64_t bytes);

// How many files the process may hold open at once; no value when there is no
// limit, and 0 when the limit cannot be found out.
std::optional<std::size_t> openFileLimit();

// The program's arguments (without its name) as UTF-8 texts: on Windows read
// from the wide command line, whatever the code page.
std::vector<std::string> programArguments(int argc, char* argv[]);

// Sends text written to a console as UTF-8 (Windows' consoles have a code page
// of their own), and a window program started from a console writes into it
// where its output is not redirected; nothing elsewhere.
void useUtf8Console();

// Names the calling thread (at most 15 characters) where the system shows
// threads' names, for the system's tools and the benchmarks; nothing on
// Windows.
void nameThisThread(const char* name);

// Whether the file writes to a terminal, where a line can be rewritten in
// place; on Windows never (a console gets whole lines).
bool isTerminal(std::FILE* file);

// How many characters wide the terminal the file writes to is; 80 when that
// cannot be told.
std::size_t terminalWidth(std::FILE* file);

// Whether a window can be shown. Of the window systems asked for (qtPlatforms:
// Qt's -platform, else QT_QPA_PLATFORM; a list split by ';', each
// "name:options"), only X11's and Wayland's need a display, named on the
// command line (displayNamed: -display) or in the environment; any other
// (offscreen, vnc, ...) is left to Qt. Always where the system has one screen
// of its own (Windows).
bool hasWindowDisplay(const std::string& qtPlatforms, bool displayNamed);

// Why the user may not create files in the folder, as the system says it
// ("Permission denied"); empty when they may, and where the system tells only
// when a file is made (Windows).
std::string folderWriteRefusal(const std::string& folder);

// Opens the file with the program the desktop associates with it, without
// waiting for it; false when none could be started (none is associated).
bool openWithAssociatedProgram(const std::string& path);

// The bytes in the named encoding ("WINDOWS-1251", "SHIFT_JIS", "UTF-16LE": a
// name as iconv spells it, in upper case) as UTF-8; a sequence that does not
// decode becomes U+FFFD. No value when the system has no converter for it (an
// empty input tells whether it has one).
std::optional<std::string> convertToUtf8(std::string_view bytes, const std::string& encoding);

// The path of a file named NAME in FOLDER, with the system's separator (the
// path is shown to the user).
std::string pathInFolder(const std::string& folder, const std::string& name);

// The user's locale as a language tag ("de-DE"): on POSIX systems from the
// first of LC_ALL, LC_NUMERIC and LANG that is set, on Windows the user's
// default locale. Empty when it names none (C, POSIX).
std::string userLocale();

// A locale as POSIX names it ("de_DE.UTF-8", "sr_RS@latin") as a language tag
// ("de-DE", "sr-RS"); empty for C, POSIX and what is no locale name.
std::string localeNameToTag(std::string_view name);

}  // namespace qf::platform
