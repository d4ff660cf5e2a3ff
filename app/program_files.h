#pragma once
// Where the program's own files (the pointers, an optional skin) are found.

#include <string>

namespace qf {

// The folder that holds the program's files: the executable's own folder when the
// hand pointer file lies there (a build tree), else the data folder an install
// puts them in (share/quillfen beside bin/). Without a trailing separator.
std::string programFilesFolder(const std::string& executableFolder);

}  // namespace qf
