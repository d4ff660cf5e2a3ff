#include "table_placement.h"

#include <algorithm>

#include "web_limits.h"

namespace qf::engine {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// Rows and columns that rowspans keep busy are stepped over one by one; a page
// built to make that endless (thousands of busy columns over a million rows) is
// refused once the steps pass this many.
constexpr u64 kSpanWorkBudget = 50'000'000;

}  // namespace

TablePlacement::Cell TablePlacement::placeCell(Table& t, u32 rowspan, u32 colspan, u32 firstItem) {
    const u32 row = t.rows - 1;
    u32 col = t.nextCol;
    while (col < t.busyUntil.size() && t.busyUntil[col] > row) ++col;
    spanWork_ += col - t.nextCol;
    // Cells beyond the sheet's last column share one column past it.
    col = std::min(col, kSheetColumns);
    colspan = std::min(colspan, kSheetColumns + 1 - col);
    // Only cells reaching into later rows keep columns busy.
    if (rowspan > 1) {
        if (t.busyUntil.size() < col + colspan) t.busyUntil.resize(col + colspan, 0);
        const u32 until = saturatingAdd(row, rowspan);
        for (u32 c = col; c < col + colspan; ++c) t.busyUntil[c] = until;
    }
    if (rowspan > 1) spanWork_ += colspan;
    if (spanWork_ > kSpanWorkBudget) throw PageRefused("the page's tables span too many cells to be read");
    t.nextCol = col + colspan;
    return {row, col, rowspan, colspan, firstItem, 0, 1, 1};
}

u32 TablePlacement::place(const Table& t, std::span<const Cell> cells, std::vector<LayoutItem>& items) {
    u32 columns = 0;
    for (const Cell& c : cells) columns = std::max(columns, c.col + c.colspan);
    heights_.assign(t.rows, 1);
    widths_.assign(columns, 1);
    for (const Cell& c : cells) {
        if (c.rowspan == 1) heights_[c.row] = std::max(heights_[c.row], c.height);
        if (c.colspan == 1) widths_[c.col] = std::max(widths_[c.col], c.width);
    }
    // Spanning cells that need more room than their rows or columns give
    // widen the last of them.
    auto widen = [](std::vector<u32>& sizes, u32 start, u32 span, u32 need) {
        span = std::min<u32>(span, static_cast<u32>(sizes.size()) - start);
        u64 have = 0;
        for (u32 k = start; k < start + span; ++k) have += sizes[k];
        if (need > have) sizes[start + span - 1] = saturatingAdd(sizes[start + span - 1], need - have);
    };
    for (const Cell& c : cells) {
        if (c.rowspan > 1) widen(heights_, c.row, c.rowspan, c.height);
        if (c.colspan > 1) widen(widths_, c.col, c.colspan, c.width);
    }
    auto toOffsets = [](std::vector<u32>& sizes, u32 start) {
        u32 total = start;
        for (u32& s : sizes) {
            u32 size = s;
            s = total;
            total = saturatingAdd(total, size);
        }
        return total;
    };
    const u32 end = toOffsets(heights_, t.originRow);
    toOffsets(widths_, 0);
    for (const Cell& c : cells) {
        const u32 dr = heights_[c.row], dc = widths_[c.col];
        for (u32 k = c.firstItem; k < c.endItem; ++k) {
            items[k].row = saturatingAdd(items[k].row, dr);
            items[k].col = saturatingAdd(items[k].col, dc);
        }
    }
    return end;
}

}  // namespace qf::engine
