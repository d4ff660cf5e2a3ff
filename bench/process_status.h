#pragma once
// Figures of this process that the benchmarks print, read from /proc/self/status.

#include <fstream>
#include <string>

// A "<field> <n> kB" line's n, or 0 when the field is not there.
inline long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string name(field);
    while (std::getline(status, line))
        if (line.rfind(name, 0) == 0) return std::stol(line.substr(name.size()));
    return 0;
}

inline long residentKb() { return statusKb("VmRSS:"); }
