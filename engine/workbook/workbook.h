#pragma once
// The engine's workbook model: a workbook holds worksheets, a worksheet holds
// cells, their column widths and the selection. A workbook owns its sheets.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cell.h"
#include "sheet_cells.h"

namespace qf::engine {

class Workbook;
class Worksheet;

inline constexpr double kMaxFittedColumnWidth = 80.0;  // characters

struct CellPosition {
    std::int64_t row = 0;     // 0-based
    std::int32_t column = 0;  // 0-based
    bool operator==(const CellPosition&) const = default;
};

class Worksheet {
public:
    explicit Worksheet(std::string name) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }

    SheetCells& cells() { return cells_; }
    const SheetCells& cells() const { return cells_; }
    const std::map<std::int32_t, double>& columnWidths() const { return widths_; }

    // Places a page's grid with its top-left cell at `at`, in place of oldRows
    // rows there, widening the columns it fills when fitColumns; returns the
    // number of rows placed. Fails when the cells do not fit; the sheet is then
    // unchanged.
    std::int64_t place(CellPosition at, std::int64_t oldRows, PageGrid& grid, bool fitColumns);

    CellPosition selectionFirst, selectionLast;

private:
    void fitColumns(const std::vector<double>& fitted, std::int32_t firstColumn);

    std::string name_;
    SheetCells cells_;
    std::map<std::int32_t, double> widths_;
};

class Workbook {
public:
    // A new workbook of that many sheets (at least one), the first one active.
    explicit Workbook(int sheets);

    const std::vector<std::shared_ptr<Worksheet>>& sheets() const { return sheets_; }
    const std::shared_ptr<Worksheet>& activeSheet() const { return active_; }

    // Inserts a new sheet at the 0-based position, named "Sheet" + the next unused
    // number, and makes it the active sheet.
    std::shared_ptr<Worksheet> addSheet(std::size_t position);
    // Removes the sheet; when it was active, its right neighbour (or the left one,
    // for the last sheet) becomes active. The last remaining sheet cannot go.
    void deleteSheet(Worksheet& sheet);

private:
    bool nameTaken(const std::string& name) const;

    std::vector<std::shared_ptr<Worksheet>> sheets_;
    std::shared_ptr<Worksheet> active_;
    int sheetCounter_ = 0;
};

// Width in characters that shows a cell's value whole.
double displayWidth(const CellValue& cell);
// The widest displayWidth of each column of the grid.
std::vector<double> fittedWidths(const PageGrid& grid);

}  // namespace qf::engine
