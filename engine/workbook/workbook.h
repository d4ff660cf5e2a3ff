#pragma once
// The engine's workbook model: a workbook holds worksheets, a worksheet holds
// cells, their column widths and the selection.
//
// Ownership: a workbook owns its sheets. A deleted sheet leaves its workbook
// (workbook() becomes nullptr) but lives on while something still refers to it.

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

class Worksheet : public std::enable_shared_from_this<Worksheet> {
public:
    Worksheet(Workbook* book, std::string name) : book_(book), name_(std::move(name)) {}

    Workbook* workbook() const { return book_; }  // nullptr once deleted
    bool deleted() const { return book_ == nullptr; }
    void detach() { book_ = nullptr; }

    const std::string& name() const { return name_; }
    // Checked: valid and unused in the workbook. Characters the file cannot hold
    // in a name become U+FFFD.
    void setName(const std::string& name);

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

    Workbook* book_;
    std::string name_;
    SheetCells cells_;
    std::map<std::int32_t, double> widths_;
};

class Workbook {
public:
    Workbook(std::string name, int sheets);

    const std::string& name() const { return name_; }

    const std::vector<std::shared_ptr<Worksheet>>& sheets() const { return sheets_; }
    const std::shared_ptr<Worksheet>& activeSheet() const { return active_; }
    void activate(const std::shared_ptr<Worksheet>& sheet) { active_ = sheet; }
    // 0-based position, or -1 when the sheet is not in this workbook.
    int indexOf(const Worksheet& sheet) const;

    // Inserts a new sheet at the 0-based position, named "Sheet" + the next unused
    // number, and makes it the active sheet.
    std::shared_ptr<Worksheet> addSheet(std::size_t position);
    // Removes the sheet; when it was active, its right neighbour (or the left one,
    // for the last sheet) becomes active. The last remaining sheet cannot go.
    void deleteSheet(Worksheet& sheet);
    bool nameTaken(const std::string& name, const Worksheet* except) const;

    bool shown = false;  // written out for the user already

private:
    std::string name_;
    std::vector<std::shared_ptr<Worksheet>> sheets_;
    std::shared_ptr<Worksheet> active_;
    int sheetCounter_ = 0;
};

// Column names and A1-style references.
std::string columnName(std::int32_t column);  // 0 -> "A"
// Parses "B3", "$B$3" (any letter case); false when it is not a cell on the sheet.
bool parseCellReference(std::string_view text, CellPosition& out);

// Width in characters that shows a cell's value whole.
double displayWidth(const CellValue& cell);
// The widest displayWidth of each column of the grid.
std::vector<double> fittedWidths(const PageGrid& grid);

}  // namespace qf::engine
