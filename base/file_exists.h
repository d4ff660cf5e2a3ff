#pragma once
// FileExists: true when the path's last-modified time can be read. Never fails.
// Used by start-up (the hand cursor file) and by the URL text file reader.

#include <string>

namespace qf {

bool FileExists(const std::string& path);

}  // namespace qf
