#pragma once
// Where the cells of an HTML table go. Rows and cells come in document order;
// each cell takes the first column of its row that no rowspan from above still
// keeps, and reserves the rows and columns it spans. When the table ends, its
// rows and columns are sized to what their cells hold (a cell with several
// lines or a nested table takes as many rows and columns as its content needs,
// so the cells beside and below it move out of its way), and the cells' texts
// move to their places.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "layout_grid.h"

namespace qf::engine {

// Coordinates saturate here; anything this far out is beyond the sheet anyway.
inline constexpr std::uint32_t kFarCoordinate = 0x7fffffffu;

inline std::uint32_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(a + b, kFarCoordinate));
}

// The tables of one page, as its layout meets them (nested tables inside
// cells included). Used by one layout at a time.
class TablePlacement {
public:
    // A cell: its place in its table, its texts (the layout's items firstItem
    // to endItem, placed relative to the cell) and the rows and columns they take.
    struct Cell {
        std::uint32_t row, col, rowspan, colspan;
        std::uint32_t firstItem, endItem;
        std::uint32_t width, height;
    };
    // A table that is collecting its cells.
    struct Table {
        std::uint32_t originRow;  // in the enclosing flow
        std::uint32_t firstItem;
        std::size_t firstCell;
        std::uint32_t rows = 0;  // rows started so far
        std::uint32_t nextCol = 0;
        std::vector<std::uint32_t> busyUntil;  // per column: the first row not taken by a rowspan

        void startRow() {
            rows = saturatingAdd(rows, 1);
            nextCol = 0;
        }
    };

    // The next cell of the table's current row, its texts starting at the
    // item firstItem. Throws PageRefused once the page's rowspans have kept so
    // many rows and columns busy that stepping over them would take unbounded
    // time.
    Cell placeCell(Table& table, std::uint32_t rowspan, std::uint32_t colspan, std::uint32_t firstItem);

    // Sizes the table's rows and columns to its cells and moves the cells'
    // items to their places in the enclosing flow; returns the row below the
    // table there.
    std::uint32_t place(const Table& table, std::span<const Cell> cells, std::vector<LayoutItem>& items);

private:
    std::vector<std::uint32_t> heights_, widths_;
    std::uint64_t spanWork_ = 0;
};

}  // namespace qf::engine
