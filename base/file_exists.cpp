#include "file_exists.h"

#include <filesystem>
#include <system_error>

namespace qf {

bool FileExists(const std::string& path) {
    std::error_code error;
    // The time itself is not needed, only whether it can be read.
    (void)std::filesystem::last_write_time(std::filesystem::path(std::u8string(path.begin(), path.end())), error);
    return !error;
}

}  // namespace qf
