#pragma once
// What the web side holds to, and the refusal of a page beyond it: the limits of
// one transfer and of the loader's work ahead, the size of a sheet, and
// PageRefused. The floor of engine/web: it includes nothing of it, and any file
// of it may include this one.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace qf::engine {

// Limits that keep one bad site from hanging or exhausting the program.
struct FetchLimits {
    long connectTimeoutMs = 15'000;
    long totalTimeoutMs = 60'000;
    long lowSpeedBytesPerSecond = 1024;    // abort when slower than this ...
    long lowSpeedTimeSeconds = 15;         // ... for this long
    std::size_t maxBodyBytes = 64u << 20;  // after content decoding
    long maxRedirects = 10;
};

// How many pages load at once and how far ahead: the one place for these numbers.
struct LoadLimits {
    int connectionsPerHost = 6;
    int connectionsInAll = 16;
    std::size_t pagesAhead = 64;          // queries beyond the next one; 0: only the page asked for
    std::size_t bytesAhead = 256u << 20;  // pages held ahead, fetched or laid out
    unsigned layoutThreads = 0;           // 0: one per core
    long maxRetryAfterSeconds = 30;       // a 429/503 asking to wait longer is not retried
};

// What a sheet holds: a page's texts must all land within it.
inline constexpr std::uint32_t kSheetRows = 1'048'576;
inline constexpr std::uint32_t kSheetColumns = 16'384;

// A page that is not laid out; what() is the reason.
struct PageRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

}  // namespace qf::engine
