#pragma once
// The last step of a page's layout, shared by HTML and plain text: the texts it
// placed become a grid of cells, each checked against what a sheet holds, and
// their values are read in the page's conventions (page_values.h).

#include <cstdint>
#include <string_view>
#include <vector>

#include "page_source.h"
#include "page_values.h"

namespace qf::engine {

// A cell text at a position relative to the region that holds it; the text is a
// slice of one shared buffer. Its group is the column it belongs to (of a
// table, of a <pre> block or of the page's flow) and its language the index of
// the lang attribute in force there.
struct LayoutItem {
    std::uint32_t row, col;
    std::uint32_t offset, length;
    std::uint32_t group = 0;
    std::uint16_t language = 0;
};

struct LaidOutPage {
    std::vector<LayoutItem> items;
    std::string_view texts;
    std::vector<std::uint32_t> groupTables;  // for each group, its table
    PageLanguages languages;
    std::vector<bool> usedLanguages;  // the indexes into languages.tags that items name
};

// A sheet cell holds at most this many UTF-16 code units.
inline constexpr std::uint64_t kCellTextUnits = 32767;

// The length in bytes of the first piece of a text that a cell holds: as many
// whole characters as fit in kCellTextUnits UTF-16 units. A longer text goes on
// in the cells below, piece by piece.
std::size_t cellPiece(std::string_view text);

// Builds the grid and reads the values. Throws PageRefused (web_limits.h) when
// a text would land past the sheet's last row or column, or when the texts
// stand so far apart that the grid's empty cells would take unbounded memory.
// Nothing is ever left out in silence.
PageGrid toGrid(const LaidOutPage& page, const WebQueryOptions& options);

}  // namespace qf::engine
