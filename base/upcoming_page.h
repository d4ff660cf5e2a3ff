#pragma once
// A page that a later import will ask for, as a run names it to its
// spreadsheet ahead of time (ReadAhead in import/port/spreadsheet.h) and the
// engine to its page source (engine/web/page_source.h).

#include <cstdint>
#include <string>

namespace qf {

// Its address (as the import will ask for it) and a key that names the entry it
// comes from. Keys grow in the order the imports will come.
struct UpcomingPage {
    std::int64_t key = 0;
    std::string address;
    bool operator==(const UpcomingPage&) const = default;
};

}  // namespace qf
