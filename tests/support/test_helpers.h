#pragma once
// Small helpers the tests share.

#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace qf::testing {

// A new, empty folder under /tmp for one test ("/tmp/quillfen-<name>-XXXXXX");
// the test removes it.
inline std::string newTempFolder(const std::string& name) {
    std::string path = "/tmp/quillfen-" + name + "-XXXXXX";
    if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("cannot make a folder like " + path);
    return path;
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
