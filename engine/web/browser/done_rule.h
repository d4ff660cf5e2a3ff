#pragma once
// When a rendered page is done: its document has loaded, no request younger
// than requestGrace is still pending (an older one may never answer), and the
// document has not changed for `quiet`. Whatever the page does, it is taken at
// its limit.

#include <chrono>
#include <optional>

namespace qf::browser {

struct DoneRule {
    std::chrono::milliseconds quiet{500};
    std::chrono::milliseconds requestGrace{3000};
};

struct PageProgress {
    bool loaded = false;
    // The age of the youngest request still pending; none when none is.
    std::optional<std::chrono::milliseconds> youngestPending;
    // How long the document has gone unchanged; none when it could not be
    // asked (the page's scripts are busy).
    std::optional<std::chrono::milliseconds> unchangedFor;
};

bool pageDone(const DoneRule& rule, const PageProgress& progress);

}  // namespace qf::browser
