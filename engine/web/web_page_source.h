#pragma once
// The engine's own page source: fetches a page's address over HTTP(S) with
// libcurl, decodes it and lays the page out into cells.
//
// The entire page is laid out, and its cells get values and number formats
// (percent, currency, date, time) only, never fonts, colours or borders.
// <pre> text is read line by line. What the source does with each
// WebQueryOptions setting:
//   preFormattedTextToColumns   <pre> lines are split into columns at tabs and
//                               at runs of two or more spaces; off: each line
//                               is one cell
//   consecutiveDelimitersAsOne  neighbouring delimiters in such a line count as
//                               one; off: each further one leaves an empty cell
//   disableDateRecognition      texts that read as dates stay text (numbers,
//                               percentages, currency and times still become
//                               values)
//   disableRedirections         a redirect is not followed, and the page fails
//                               with the redirect's status ("HTTP 302")
// How an import places the grid (above what the sheet holds, column widths) is
// the sheet's business, not the source's. html_layout.h describes the layout and
// value_recognition.h the values.

#include <chrono>
#include <memory>
#include <string>

#include "page_source.h"
#include "script_signals.h"
#include "request_settings.h"

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

// Pages built by scripts, rendered in a browser before they are laid out
// (script_signals.h says when). Rendering reads ahead as fetching does, in the
// order the loads will come, a tab a page.
struct RenderSettings {
    ScriptsMode mode = ScriptsMode::Auto;
    std::chrono::seconds limit{15};  // a page is taken as it stands after this long
    unsigned tabs = 4;               // pages rendered at once
    std::string browser;             // the browser's executable; empty: found
};

// Whether the browser that renders pages built by scripts is installed, and
// what to install when it is not.
bool renderingBrowserInstalled();
std::string renderingBrowserToInstall();

// One source per workbook being made: it keeps the connection cache. Pages
// are fetched and laid out on threads of its own, also the one a load asks
// for; the asking thread waits (calling the wait hook).
// Pages named ahead are laid out with aheadOptions: the options the loads will ask for.
// Every request is made with the request settings (a browser's headers when
// none are given); without a cookie store of theirs the source keeps one.
std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits = {}, const LoadLimits& load = {},
                                              const WebQueryOptions& aheadOptions = {},
                                              const RenderSettings& render = {},
                                              std::shared_ptr<const RequestSettings> request = {});

}  // namespace qf::engine
