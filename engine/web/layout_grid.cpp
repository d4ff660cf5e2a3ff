#include "layout_grid.h"

#include <algorithm>
#include <string>

#include "base/text.h"
#include "web_limits.h"

namespace qf::engine {

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

std::string withThousands(u64 n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// Refuses a page whose texts do not all fit on a sheet. (The layout lets
// positions far beyond the sheet saturate, so how far is not told.)
void checkFitsSheet(const std::vector<LayoutItem>& items) {
    for (const LayoutItem& it : items) {
        if (it.col >= kSheetColumns)
            throw PageRefused("the page needs more columns than the " + withThousands(kSheetColumns) + " of a sheet");
        if (it.row >= kSheetRows)
            throw PageRefused("the page needs more rows than the " + withThousands(kSheetRows) + " of a sheet");
    }
}

// A grid row holds every cell up to its last text, the empty ones before it
// included. Colspans are cheap to write, so a small page can put one text per row
// thousands of columns out; the grid may hold this many empty cells beyond four
// for each text before the page is refused.
constexpr u64 kSpareGridCells = 1u << 20;

// The sheet's name of a 0-based column: A, ..., Z, AA, ...
std::string columnName(u32 column) {
    std::string name;
    for (u64 n = u64{column} + 1; n > 0; n = (n - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    return name;
}

// One line for the page naming the columns whose own texts go against the
// forced locale, each by the sheet column its first text lands in.
void noteColumnsAgainstForced(PageGrid& grid, const std::vector<LayoutItem>& items, const PageValues& values,
                              const std::string& locale) {
    std::vector<u32> columns;
    std::vector<bool> seen;
    for (const LayoutItem& it : items) {
        if (seen.size() <= it.group) seen.resize(it.group + std::size_t{1}, false);
        if (seen[it.group]) continue;
        seen[it.group] = true;
        if (values.againstForced(it.group) && std::find(columns.begin(), columns.end(), it.col) == columns.end())
            columns.push_back(it.col);
    }
    if (columns.empty()) return;
    std::sort(columns.begin(), columns.end());
    std::string names;
    for (const u32 c : columns) names += (names.empty() ? "" : ", ") + columnName(c);
    grid.notes.push_back((columns.size() == 1 ? "column " : "columns ") + names +
                         (columns.size() == 1 ? " does" : " do") + " not fit the locale " + locale + ": the texts " +
                         locale + " reads otherwise than the page stay text");
}

}  // namespace

std::size_t cellPiece(std::string_view text) {
    if (text.size() <= kCellTextUnits) return text.size();
    std::size_t units = 0, i = 0;
    while (i < text.size()) {
        std::size_t n = utf8SequenceLength(text, i);
        const std::size_t u = n == 4 ? 2 : 1;
        if (n == 0) n = 1;
        if (units + u > kCellTextUnits) break;
        units += u;
        i += n;
    }
    return i;
}

PageGrid toGrid(const LaidOutPage& page, const WebQueryOptions& options) {
    const std::vector<LayoutItem>& items = page.items;
    checkFitsSheet(items);
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

    PageValues values(options, page.languages, page.usedLanguages, page.groupTables);
    std::vector<u32> waiting;  // the items whose cells wait for the page's conventions
    for (u32 k = 0; k < items.size(); ++k) {
        const LayoutItem& it = items[k];
        if (!values.note(it.group, it.language, page.texts.substr(it.offset, it.length), grid.rows[it.row][it.col]))
            waiting.push_back(k);
    }
    values.decide();
    for (std::size_t w = 0; w < waiting.size(); ++w) {
        const LayoutItem& it = items[waiting[w]];
        grid.rows[it.row][it.col] = values.waiting(w, page.texts.substr(it.offset, it.length));
    }
    noteColumnsAgainstForced(grid, items, values, options.locale);
    return grid;
}

}  // namespace qf::engine
