#pragma once
// Thinning the URL list out by a piece of text: the scan behind "Remove
// Filenames Containing X" and "Remove Filenames Not Cont. X".

#include <string_view>

#include "base/window_services.h"
#include "url_list_model.h"

namespace qf {

enum class FilterKind { Containing, NotContaining };

// Removes every entry that contains (or does not contain) the text, compared
// case-insensitively (both sides lower-cased) and otherwise literally, spaces
// included. The entries examined are those present when the scan starts;
// entries appended while it lets the window process events are kept. The
// window gets its events at least every few milliseconds during the scan, and
// is kept in the busy state (pointer code 11) after each such round.
void filterEntries(UrlListModel& list, std::string_view text, FilterKind kind, WindowServices& ui);

// Whether lower(haystack) contains lower(needle), both UTF-8.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

}  // namespace qf
