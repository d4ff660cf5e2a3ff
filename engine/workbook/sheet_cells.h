#pragma once
// The cells of one sheet. Rows are kept in compactly encoded chunks, so that
// inserting a block of rows anywhere (above all at the top, where every page
// lands) costs the size of the block, not the size of the sheet, and a cell costs
// a few bytes beyond its text.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "cell.h"

namespace qf::engine {

inline constexpr std::int64_t kMaxRows = 1'048'576;
inline constexpr std::int32_t kMaxColumns = 16'384;
inline constexpr std::size_t kMaxCellChars = 32'767;  // characters of one cell, counted in UTF-16 units

// A stored cell, read back. The text points into the sheet's storage and is valid
// until the sheet changes.
struct CellView {
    CellValue::Kind kind = CellValue::Kind::Empty;
    FormatId format = kGeneralFormat;
    double number = 0.0;
    std::string_view text;
};

// Makes a text fit for a cell: invalid UTF-8 and NUL characters become U+FFFD,
// and the text is cut after kMaxCellChars characters.
std::string cellText(std::string_view text);

class EncodedRows;

// A placing that only the rows already on the sheet prevent: the cells would
// fit on the sheet were it empty.
class SheetFull : public Failure {
public:
    using Failure::Failure;
};

// Threads: a sheet's cells belong to the thread that drives its workbook.
class SheetCells {
public:
    SheetCells();
    ~SheetCells();
    SheetCells(SheetCells&&) noexcept;
    SheetCells& operator=(SheetCells&&) noexcept;

    // Rows held, empty ones included.
    std::int64_t rowCount() const { return rows_; }
    // The 1-based number of the last row that holds a cell; 0 when there is none.
    std::int64_t lastUsedRow() const;

    // Replaces `oldRows` rows from 0-based `row` on with the grid's rows, whose cells
    // start at 0-based `column`; the rows below move up or down as needed. With
    // oldRows = 0 this inserts: everything from `row` down moves down by the grid's
    // height. Fails (qf::Failure) and changes nothing when a cell would end up past
    // the sheet's last row or column; with SheetFull when only the rows already
    // there stand in the way.
    void replaceRows(std::int64_t row, std::int64_t oldRows, std::int32_t column, const PageGrid& grid);
    void insertRows(std::int64_t row, std::int32_t column, const PageGrid& grid) { replaceRows(row, 0, column, grid); }
    // The same with rows encoded beforehand: their chunks move in as they are
    // (rewritten first only when they were encoded for another column), so this
    // costs the number of chunks, not of cells. On failure `fresh` is kept whole.
    void replaceRows(std::int64_t row, std::int64_t oldRows, std::int32_t column, EncodedRows&& fresh);

    // The cell at 0-based row and column.
    CellValue cell(std::int64_t row, std::int32_t column) const;

    // Calls f(row, column, const CellView&) for every non-empty cell, row by row,
    // left to right (0-based positions).
    template <class F>
    void forEachCell(F&& f) const;

    std::size_t chunkCount() const { return chunks_.size(); }
    // Bytes of the encoded rows: at least one for each row and two for each cell.
    std::size_t encodedSize() const;

private:
    friend class EncodedRows;
    struct Chunk;
    class Reader;
    std::size_t splitAt(std::int64_t row);  // index of the chunk that starts at row
    void mergeAround(std::size_t first, std::size_t last);
    void eraseRows(std::int64_t row, std::int64_t count);

    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::int64_t rows_ = 0;
};

// A grid's rows encoded the way a sheet keeps them, for a given first column.
// Encoding is the part of placing a page that costs as much as its cells, so a
// loader does it on its own threads and the sheet's thread only moves the
// chunks in. Threads: made on any thread, then used by whoever holds it.
class EncodedRows {
public:
    EncodedRows();
    EncodedRows(const PageGrid& grid, std::int32_t column);
    EncodedRows(const EncodedRows& other);
    EncodedRows& operator=(const EncodedRows&) = delete;
    EncodedRows(EncodedRows&&) noexcept;
    EncodedRows& operator=(EncodedRows&&) noexcept;
    ~EncodedRows();

    std::int64_t rowCount() const { return rows_; }
    std::int32_t column() const { return column_; }
    std::size_t bytes() const;  // memory held, roughly

private:
    friend class SheetCells;
    void moveToColumn(std::int32_t column);

    std::vector<std::unique_ptr<SheetCells::Chunk>> chunks_;
    std::int64_t rows_ = 0;
    std::int64_t lastUsed_ = -1;  // index of the last row that holds a cell
    std::int32_t width_ = 0;      // columns up to the last non-empty cell of any row
    std::int32_t column_ = 0;
};

// Places a grid as a page source gives it (its rows encoded ahead or not) at
// 0-based row and column in place of oldRows rows, like replaceRows, and returns
// the number of rows placed. An encoded grid that nobody else shares gives its
// chunks up to the sheet.
std::int64_t placeGrid(SheetCells& cells, std::int64_t row, std::int64_t oldRows, std::int32_t column, PageGrid& grid);

// ---- encoding, shared by the storage and its readers ----
namespace cells_detail {

inline std::uint64_t readVarint(const unsigned char*& p) {
    std::uint64_t v = 0;
    int shift = 0;
    for (;;) {
        const unsigned char b = *p++;
        v |= std::uint64_t(b & 0x7f) << shift;
        if (!(b & 0x80)) return v;
        shift += 7;
    }
}

// A format id below this fits in a cell's tag byte; a larger one follows it.
inline constexpr unsigned kFormatInTag = 63;

// One row: varint cell count; if non-zero, varint first column, then the cells,
// each a tag byte (kind | format << 2, with kFormatInTag there and a varint
// after it for a larger format id), then 8 bytes of double for a number or
// varint length and the bytes for a text.
inline const unsigned char* readCell(const unsigned char* p, CellView& out) {
    const unsigned char tag = *p++;
    out.kind = static_cast<CellValue::Kind>(tag & 3);
    const unsigned format = tag >> 2u;
    out.format = static_cast<FormatId>(format < kFormatInTag ? format : readVarint(p));
    out.text = {};
    if (out.kind == CellValue::Kind::Number) {
        std::memcpy(&out.number, p, sizeof(double));
        p += sizeof(double);
    } else if (out.kind == CellValue::Kind::Text) {
        const std::uint64_t n = readVarint(p);
        out.text = std::string_view(reinterpret_cast<const char*>(p), n);
        p += n;
    }
    return p;
}

}  // namespace cells_detail

struct SheetCells::Chunk {
    std::string bytes;
    std::vector<std::uint32_t> rowStart;  // offset of each row in bytes
    std::int64_t lastUsed = -1;           // index of the last row that holds a cell
    std::int64_t rows() const { return static_cast<std::int64_t>(rowStart.size()); }
};

template <class F>
void SheetCells::forEachCell(F&& f) const {
    std::int64_t base = 0;
    CellView cell;
    for (const auto& chunk : chunks_) {
        const auto* data = reinterpret_cast<const unsigned char*>(chunk->bytes.data());
        for (std::int64_t r = 0; r <= chunk->lastUsed; ++r) {
            const unsigned char* p = data + chunk->rowStart[static_cast<std::size_t>(r)];
            const std::uint64_t count = cells_detail::readVarint(p);
            if (count == 0) continue;
            auto column = static_cast<std::int32_t>(cells_detail::readVarint(p));
            for (std::uint64_t i = 0; i < count; ++i, ++column) {
                p = cells_detail::readCell(p, cell);
                if (cell.kind != CellValue::Kind::Empty) f(base + r, column, cell);
            }
        }
        base += chunk->rows();
    }
}

}  // namespace qf::engine
