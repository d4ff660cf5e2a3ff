#include "layout_grid.h"

#include <algorithm>
#include <string>

#include "base/text.h"
#include "html_layout.h"
#include "value_recognition.h"

namespace qf::engine {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

// A sheet cell holds at most this many UTF-16 code units.
constexpr u64 kCellTextUnits = 32767;

std::string withThousands(u64 n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// Refuses a page whose texts do not all fit on a sheet. (The layout lets
// positions far beyond the sheet saturate, so how far is not told.)
void checkFitsSheet(const std::vector<LayoutItem>& items, std::string_view texts) {
    for (const LayoutItem& it : items) {
        if (it.col >= kSheetColumns)
            throw PageRefused("the page needs more columns than the " + withThousands(kSheetColumns) + " of a sheet");
        if (it.row >= kSheetRows)
            throw PageRefused("the page needs more rows than the " + withThousands(kSheetRows) + " of a sheet");
    }
    for (const LayoutItem& it : items)
        if (it.length > kCellTextUnits && utf16Units(texts.substr(it.offset, it.length)) > kCellTextUnits)
            throw PageRefused("a text on the page is longer than the " + withThousands(kCellTextUnits) +
                              " characters a cell holds");
}

// A grid row holds every cell up to its last text, the empty ones before it
// included. Colspans are cheap to write, so a small page can put one text per row
// thousands of columns out; the grid may hold this many empty cells beyond four
// for each text before the page is refused.
constexpr u64 kSpareGridCells = 1u << 20;

}  // namespace

PageGrid toGrid(const std::vector<LayoutItem>& items, std::string_view texts, const WebQueryOptions& options) {
    checkFitsSheet(items, texts);
    u32 rowCount = 0;
    for (const LayoutItem& it : items) rowCount = std::max(rowCount, it.row + 1);
    std::vector<u32> widths(rowCount, 0);
    for (const LayoutItem& it : items) widths[it.row] = std::max(widths[it.row], it.col + 1);
    u64 cells = 0;
    for (u32 w : widths) cells += w;
    if (cells > 4 * u64{items.size()} + kSpareGridCells)
        throw PageRefused("the page's tables spread their texts over too many empty cells to be read");
    PageGrid grid;
    grid.rows.resize(rowCount);
    for (u32 r = 0; r < rowCount; ++r) grid.rows[r].resize(widths[r]);
    const bool dates = !options.disableDateRecognition;
    for (const LayoutItem& it : items)
        grid.rows[it.row][it.col] = recognizeValue(texts.substr(it.offset, it.length), dates);
    return grid;
}

}  // namespace qf::engine
