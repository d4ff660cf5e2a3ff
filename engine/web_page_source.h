#pragma once
// The engine's own page source: fetches a web query's address over HTTP(S)
// with libcurl, decodes it and lays the page out into cells.

#include <memory>

#include "page_source.h"

namespace qf::engine {

// Limits that keep one bad site from hanging or exhausting the program.
struct FetchLimits {
    long connectTimeoutMs = 15'000;
    long totalTimeoutMs = 60'000;
    long lowSpeedBytesPerSecond = 1024;  // abort when slower than this ...
    long lowSpeedTimeSeconds = 15;       // ... for this long
    std::size_t maxBodyBytes = 64u << 20;  // after content decoding
    long maxRedirects = 10;
};

// One source per application instance: it keeps the connection cache.
std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits = {});

}  // namespace qf::engine
