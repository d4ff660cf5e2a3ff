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

#include <memory>
#include <string>

#include "page_source.h"
#include "request_settings.h"
#include "script_signals.h"
#include "web_limits.h"

namespace qf::engine {

// Whether the browser that renders pages built by scripts is installed, and
// what to install when it is not.
bool renderingBrowserInstalled();
std::string renderingBrowserToInstall();

// One source per workbook being made: it keeps the connection cache. Pages
// are fetched and laid out on threads of its own, also the one a load asks
// for; the asking thread waits (calling the wait hook).
// Every page, the one a load asks for and those named ahead, is read with the
// options.
// Every request is made with the request settings (a browser's headers when
// none are given); without a cookie store of theirs the source keeps one.
std::unique_ptr<PageSource> makeWebPageSource(const FetchLimits& limits = {}, const LoadLimits& load = {},
                                              const WebQueryOptions& options = {}, const RenderSettings& render = {},
                                              std::shared_ptr<const RequestSettings> request = {});

}  // namespace qf::engine
