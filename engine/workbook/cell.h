#pragma once
// A cell value as a web page's layout produces it and a sheet stores it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qf::engine {

enum class NumberFormat : std::uint8_t {
    General,
    Percent,   // the number is the fraction: "12%" is 0.12
    Currency,  // "$1,234.50"
    Date,      // serial day number, 1900 date system
    Time,      // fraction of a day
    DateTime,
};

struct CellValue {
    enum class Kind : std::uint8_t { Empty, Text, Number } kind = Kind::Empty;
    NumberFormat format = NumberFormat::General;
    double number = 0.0;
    std::string text;  // UTF-8; for Kind::Text only

    static CellValue makeText(std::string t) {
        CellValue c;
        c.kind = Kind::Text;
        c.text = std::move(t);
        return c;
    }
    static CellValue makeNumber(double n, NumberFormat f = NumberFormat::General) {
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
};

}  // namespace qf::engine
