#include "workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/failure.h"
#include "base/text.h"

namespace qf::engine {

namespace {

std::size_t utf8Chars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

}  // namespace

double displayWidth(const CellValue& cell) {
    std::size_t chars = 0;
    switch (cell.kind) {
        case CellValue::Kind::Empty: return 0;
        case CellValue::Kind::Text: {
            std::string_view rest = cell.text;
            while (!rest.empty()) {
                const std::size_t nl = rest.find('\n');
                chars = std::max(chars, utf8Chars(rest.substr(0, nl)));
                if (nl == std::string_view::npos) break;
                rest.remove_prefix(nl + 1);
            }
            break;
        }
        case CellValue::Kind::Number: chars = shownLength(cell.number, cell.format); break;
    }
    return std::min(kMaxFittedColumnWidth, static_cast<double>(chars) + 1.0);
}

// ---- worksheet ----

std::int64_t Worksheet::place(CellPosition at, std::int64_t oldRows, PageGrid& grid, bool fitColumns) {
    const std::int64_t height = placeGrid(cells_, at.row, oldRows, at.column, grid);  // fails before changing anything
    if (fitColumns)
        this->fitColumns(grid.columnWidths.empty() && !grid.encoded ? fittedWidths(grid) : grid.columnWidths,
                         at.column);
    return height;
}

std::vector<double> fittedWidths(const PageGrid& grid) {
    std::vector<double> fitted;
    for (const auto& row : grid.rows) {
        if (row.size() > fitted.size()) fitted.resize(row.size(), 0.0);
        for (std::size_t c = 0; c < row.size(); ++c) fitted[c] = std::max(fitted[c], displayWidth(row[c]));
    }
    return fitted;
}

void Worksheet::fitColumns(const std::vector<double>& fitted, std::int32_t firstColumn) {
    // Earlier results in the same columns stay readable: a column only widens.
    for (std::size_t c = 0; c < fitted.size(); ++c) {
        if (fitted[c] <= 0) continue;
        double& width = widths_[firstColumn + static_cast<std::int32_t>(c)];
        width = std::max(width, fitted[c]);
    }
}

// ---- workbook ----

Workbook::Workbook(int sheets) {
    for (int i = 0; i < std::max(1, sheets); ++i) addSheet(sheets_.size());
    active_ = sheets_.front();
}

bool Workbook::nameTaken(const std::string& name) const {
    for (const auto& sheet : sheets_)
        if (sameIgnoringAsciiCase(sheet->name(), name)) return true;
    return false;
}

std::shared_ptr<Worksheet> Workbook::addSheet(std::size_t position) {
    std::string name;
    do name = "Sheet" + std::to_string(++sheetCounter_);
    while (nameTaken(name));
    auto sheet = std::make_shared<Worksheet>(std::move(name));
    sheets_.insert(sheets_.begin() + static_cast<std::ptrdiff_t>(std::min(position, sheets_.size())), sheet);
    active_ = sheet;
    return sheet;
}

void Workbook::deleteSheet(Worksheet& sheet) {
    const auto it = std::find_if(sheets_.begin(), sheets_.end(), [&](const auto& s) { return s.get() == &sheet; });
    if (it == sheets_.end()) throw Failure("The sheet has been deleted");
    if (sheets_.size() == 1)
        throw Failure("The sheet \"" + sheet.name() + "\" cannot be deleted: a workbook must keep at least one sheet.");
    const auto index = static_cast<std::size_t>(it - sheets_.begin());
    const bool active = active_.get() == &sheet;
    sheets_.erase(it);
    if (active) active_ = sheets_[std::min(index, sheets_.size() - 1)];
}

}  // namespace qf::engine
