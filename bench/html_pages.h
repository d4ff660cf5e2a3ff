#pragma once
// The benchmarks' pages: the .html files below a folder, served on loopback.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/import/loopback_server.h"

namespace qf::bench {

struct ServedPages {
    std::vector<std::string> urls;    // one per page, in the files' sorted order
    std::vector<std::string> bodies;  // each page's HTML, in the same order
    std::uintmax_t bytes = 0;         // of HTML in all
};

// Serves the first count .html files below folder (sorted by path) on the
// server as /p0.html, /p1.html, ... Prints why and returns no pages when there
// are fewer than three.
ServedPages serveHtmlPages(const std::string& folder, std::size_t count, qf::testing::LoopbackServer& server);

}  // namespace qf::bench
