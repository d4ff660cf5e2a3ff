#pragma once
// The last step of a page's layout, shared by HTML and plain text: the texts it
// placed become a grid of cells, each checked against what a sheet holds.

#include <cstdint>
#include <string_view>
#include <vector>

#include "page_source.h"

namespace qf::engine {

// A cell text at a position relative to the region that holds it; the text is a
// slice of one shared buffer.
struct LayoutItem {
    std::uint32_t row, col;
    std::uint32_t offset, length;
};

// Builds the grid and recognises values. Throws PageRefused (html_layout.h) when
// a text would land past the sheet's last row or column, when a text is longer
// than a cell holds, or when the texts stand so far apart that the grid's empty
// cells would take unbounded memory. Nothing is ever left out in silence.
PageGrid toGrid(const std::vector<LayoutItem>& items, std::string_view texts, const WebQueryOptions& options);

}  // namespace qf::engine
