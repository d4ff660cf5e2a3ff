#pragma once
// A cell value as a web page's layout produces it and a sheet stores it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "number_format.h"

namespace qf::engine {

// Numbers are what the page means: a percentage is its fraction ("12%" is
// 0.12), a date its serial day in the 1900 date system, a time of day its
// fraction of a day. The format shows them as the page showed them.
struct CellValue {
    enum class Kind : std::uint8_t { Empty, Text, Number } kind = Kind::Empty;
    FormatId format = kGeneralFormat;
    double number = 0.0;
    std::string text;  // UTF-8; for Kind::Text only

    static CellValue makeText(std::string t) {
        CellValue c;
        c.kind = Kind::Text;
        c.text = std::move(t);
        return c;
    }
    static CellValue makeNumber(double n, FormatId f = kGeneralFormat) {
        CellValue c;
        c.kind = Kind::Number;
        c.number = n;
        c.format = f;
        return c;
    }
    bool empty() const { return kind == Kind::Empty; }
    bool operator==(const CellValue&) const = default;
};

class EncodedRows;  // sheet_cells.h

// A block of cells, row-major; rows may be ragged (missing cells are empty).
struct PageGrid {
    std::vector<std::vector<CellValue>> rows;
    // The width each column needs to show its cells whole, when whoever made
    // the grid worked it out already (see fittedWidths); else empty.
    std::vector<double> columnWidths;
    // The rows already encoded the way a sheet keeps them, when whoever made the
    // grid did that costly part on a thread of its own; `rows` is then empty and
    // columnWidths is set. Place such a grid with placeGrid (sheet_cells.h).
    std::shared_ptr<EncodedRows> encoded;
    // What the user is told of how the page was read, a line each (a column
    // that does not fit a forced locale).
    std::vector<std::string> notes;
};

}  // namespace qf::engine
