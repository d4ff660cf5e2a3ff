#pragma once
// Small helpers the tests share.

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

namespace qf::testing {

// A new, empty folder in the system's temporary folder for one test
// ("quillfen-<name>-<random>"); the test removes it.
inline std::string newTempFolder(const std::string& name) {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path path = base / ("quillfen-" + name + "-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(path, error)) return path.string();
    }
    throw std::runtime_error("cannot make a folder for " + name + " in " + base.string());
}

// Whether the condition holds within the limit, asked every 5 ms.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace qf::testing
