#pragma once
// What the engine needs from the operating system, behind one seam: publishing
// a finished file under a name without overwriting one, the user's folders, and
// how many files the process may hold open. posix.cpp serves Linux and the other
// POSIX systems, windows.cpp serves Windows. No Qt.

#include <cstddef>
#include <optional>
#include <string>

namespace qf::platform {

enum class Publish { Done, NameTaken };

// Gives the finished file at temp the name target, but only if that name is
// free; temp is gone afterwards unless the name was taken. Throws
// qf::Failure with the system's text when neither can be done.
Publish publishWithoutOverwriting(const std::string& temp, const std::string& target);

// The user's home folder.
std::string homeFolder();

// The user's documents folder (on Linux XDG_DOCUMENTS_DIR from user-dirs.dirs,
// else ~/Documents); it may not exist yet.
std::string documentsFolder();

// How many files the process may hold open at once; no value when there is no
// limit, and 0 when the limit cannot be found out.
std::optional<std::size_t> openFileLimit();

}  // namespace qf::platform
