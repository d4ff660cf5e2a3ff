#include "sheet_cells.h"

#include <algorithm>
#include <cmath>

#include "base/failure.h"
#include "xml_text.h"

namespace qf::engine {

namespace {

using cells_detail::readVarint;

// A new grid is cut into chunks of at most this many rows or bytes; neighbouring
// chunks smaller than kMergeBytes together are joined, so that many tiny blocks do
// not leave a long list of tiny chunks.
constexpr std::int64_t kChunkRows = 4096;
constexpr std::size_t kChunkBytes = 256u << 10;
constexpr std::size_t kMergeBytes = 16u << 10;

void putVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not valid. A NUL
// is not valid either: no cell can hold it, and the file's writer would end the
// text there.
std::size_t utf8Length(std::string_view s, std::size_t i) { return s[i] == '\0' ? 0 : utf8SequenceLength(s, i); }

// Characters as the file format counts them: UTF-16 code units, so a
// character beyond U+FFFF (a 4-byte sequence) counts twice.
std::size_t unitsOf(std::size_t utf8Bytes) { return utf8Bytes == 4 ? 2 : 1; }

// True when the text is valid UTF-8 of at most kMaxCellChars characters.
bool fitsCell(std::string_view s) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = 1;
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c >= 0x80 || c == 0) && (n = utf8Length(s, i)) == 0) return false;
        units += unitsOf(n);
        if (units > kMaxCellChars) return false;
        i += n;
    }
    return true;
}

struct GridShape {
    std::int64_t lastUsed = -1;  // index of the last row that holds a cell
    std::int32_t width = 0;      // columns up to the last non-empty cell of any row
};

GridShape shapeOf(const PageGrid& grid) {
    GridShape shape;
    for (std::size_t r = 0; r < grid.rows.size(); ++r) {
        const auto& row = grid.rows[r];
        std::size_t last = row.size();
        while (last > 0 && row[last - 1].empty()) --last;
        if (last == 0) continue;
        shape.lastUsed = static_cast<std::int64_t>(r);
        shape.width = std::max(shape.width, static_cast<std::int32_t>(std::min<std::size_t>(last, kMaxColumns + 1)));
    }
    return shape;
}

std::string doesNotFitText(const char* where) {
    return std::string("The data does not fit on the sheet: cells would be pushed past its ") + where +
           ". Nothing was changed.";
}

[[noreturn]] void doesNotFit(const char* where) { throw Failure(doesNotFitText(where)); }

}  // namespace

std::string cellText(std::string_view text) {
    if (fitsCell(text)) return std::string(text);
    std::string out;
    out.reserve(std::min(text.size(), kMaxCellChars * 4));
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8Length(text, i);
        units += n == 0 ? 1 : unitsOf(n);
        if (units > kMaxCellChars) break;
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

class SheetCells::Reader {
public:
    // Encodes grid rows [from, to) as one chunk, cells starting at `column`.
    static std::unique_ptr<Chunk> encode(const PageGrid& grid, std::size_t from, std::size_t to, std::int32_t column) {
        auto chunk = std::make_unique<Chunk>();
        chunk->rowStart.reserve(to - from);
        std::string fixed;
        for (std::size_t r = from; r < to; ++r) {
            chunk->rowStart.push_back(static_cast<std::uint32_t>(chunk->bytes.size()));
            const auto& row = grid.rows[r];
            std::size_t first = 0, last = row.size();
            while (last > 0 && row[last - 1].empty()) --last;
            while (first < last && row[first].empty()) ++first;
            putVarint(chunk->bytes, last - first);
            if (last == first) continue;
            chunk->lastUsed = static_cast<std::int64_t>(r - from);
            putVarint(chunk->bytes, static_cast<std::uint64_t>(column) + first);
            for (std::size_t c = first; c < last; ++c) encodeCell(chunk->bytes, row[c], fixed);
        }
        return chunk;
    }

    static std::unique_ptr<Chunk> emptyRows(std::int64_t count) {
        auto chunk = std::make_unique<Chunk>();
        chunk->bytes.assign(static_cast<std::size_t>(count), '\0');
        chunk->rowStart.resize(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < chunk->rowStart.size(); ++i) chunk->rowStart[i] = static_cast<std::uint32_t>(i);
        return chunk;
    }

    static std::int64_t lastUsedBelow(const Chunk& chunk, std::int64_t end) {
        for (std::int64_t r = end - 1; r >= 0; --r)
            if (chunk.bytes[chunk.rowStart[static_cast<std::size_t>(r)]] != '\0') return r;
        return -1;
    }

private:
    static void encodeCell(std::string& out, const CellValue& cell, std::string& fixed) {
        auto tag = [&](CellValue::Kind kind, FormatId format) {
            const unsigned inTag = std::min<unsigned>(format, cells_detail::kFormatInTag);
            out.push_back(static_cast<char>(static_cast<unsigned>(kind) | (inTag << 2)));
            if (inTag == cells_detail::kFormatInTag) putVarint(out, format);
        };
        std::string_view text;
        switch (cell.kind) {
            case CellValue::Kind::Empty: tag(CellValue::Kind::Empty, kGeneralFormat); return;
            case CellValue::Kind::Number:
                if (std::isfinite(cell.number)) {
                    tag(CellValue::Kind::Number, cell.format);
                    const std::size_t at = out.size();
                    out.resize(at + sizeof(double));
                    std::memcpy(out.data() + at, &cell.number, sizeof(double));
                    return;
                }
                text = "#NUM!";  // a sheet cannot hold an infinite or undefined number
                break;
            case CellValue::Kind::Text: text = cell.text; break;
        }
        if (text.empty()) {
            tag(CellValue::Kind::Empty, kGeneralFormat);
            return;
        }
        if (!fitsCell(text)) {
            fixed = cellText(text);
            text = fixed;
        }
        tag(CellValue::Kind::Text, kGeneralFormat);
        putVarint(out, text.size());
        out.append(text);
    }
};

SheetCells::SheetCells() = default;
SheetCells::~SheetCells() = default;
SheetCells::SheetCells(SheetCells&&) noexcept = default;
SheetCells& SheetCells::operator=(SheetCells&&) noexcept = default;

std::int64_t SheetCells::lastUsedRow() const {
    std::int64_t end = rows_;
    for (auto it = chunks_.rbegin(); it != chunks_.rend(); ++it) {
        const std::int64_t base = end - (*it)->rows();
        if ((*it)->lastUsed >= 0) return base + (*it)->lastUsed + 1;
        end = base;
    }
    return 0;
}

std::size_t SheetCells::splitAt(std::int64_t row) {
    std::int64_t base = 0;
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        Chunk& chunk = *chunks_[i];
        if (row == base) return i;
        if (row < base + chunk.rows()) {
            const auto k = static_cast<std::size_t>(row - base);
            const std::uint32_t cut = chunk.rowStart[k];
            auto tail = std::make_unique<Chunk>();
            tail->bytes.assign(chunk.bytes, cut);
            tail->rowStart.assign(chunk.rowStart.begin() + static_cast<std::ptrdiff_t>(k), chunk.rowStart.end());
            for (auto& offset : tail->rowStart) offset -= cut;
            tail->lastUsed = chunk.lastUsed - static_cast<std::int64_t>(k);
            if (tail->lastUsed < 0) tail->lastUsed = -1;
            chunk.bytes.resize(cut);
            chunk.bytes.shrink_to_fit();
            chunk.rowStart.resize(k);
            chunk.lastUsed = Reader::lastUsedBelow(chunk, chunk.rows());
            chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(i + 1), std::move(tail));
            return i + 1;
        }
        base += chunk.rows();
    }
    return chunks_.size();
}

void SheetCells::mergeAround(std::size_t first, std::size_t last) {
    if (chunks_.size() < 2) return;
    const std::size_t hi = std::min(last + 1, chunks_.size() - 1);
    const std::size_t lo = std::max<std::size_t>(first, 1);
    for (std::size_t i = hi; i >= lo; --i) {
        Chunk& a = *chunks_[i - 1];
        Chunk& b = *chunks_[i];
        if (a.bytes.size() + b.bytes.size() <= kMergeBytes && a.rows() + b.rows() <= kChunkRows) {
            const auto shift = static_cast<std::uint32_t>(a.bytes.size());
            const std::int64_t aRows = a.rows();
            a.bytes += b.bytes;
            for (std::uint32_t offset : b.rowStart) a.rowStart.push_back(offset + shift);
            if (b.lastUsed >= 0) a.lastUsed = aRows + b.lastUsed;
            chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (i == lo) break;
    }
}

void SheetCells::eraseRows(std::int64_t row, std::int64_t count) {
    if (count <= 0) return;
    const std::size_t from = splitAt(row);
    const std::size_t to = splitAt(row + count);
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(from),
                  chunks_.begin() + static_cast<std::ptrdiff_t>(to));
    rows_ -= count;
    if (from > 0) mergeAround(from - 1, from - 1);
}

void SheetCells::replaceRows(std::int64_t row, std::int64_t oldRows, std::int32_t column, const PageGrid& grid) {
    if (row < 0 || oldRows < 0 || column < 0) throw Failure(failure_text::kInvalidArgument);
    replaceRows(row, oldRows, column, EncodedRows(grid, column));
}

void SheetCells::replaceRows(std::int64_t row, std::int64_t oldRows, std::int32_t column, EncodedRows&& fresh) {
    if (row < 0 || oldRows < 0 || column < 0) throw Failure(failure_text::kInvalidArgument);
    const std::int64_t height = fresh.rows_;
    oldRows = std::min(oldRows, std::max<std::int64_t>(rows_ - row, 0));

    // Check everything before changing anything.
    if (fresh.lastUsed_ >= 0 && static_cast<std::int64_t>(column) + fresh.width_ > kMaxColumns)
        doesNotFit("last column");
    if (fresh.lastUsed_ >= 0 && row + fresh.lastUsed_ + 1 > kMaxRows) doesNotFit("last row");
    const std::int64_t used = lastUsedRow();
    if (used > row + oldRows && used - oldRows + height > kMaxRows) throw SheetFull(doesNotFitText("last row"));
    fresh.moveToColumn(column);

    eraseRows(row, oldRows);
    if (row > rows_) {
        chunks_.push_back(Reader::emptyRows(row - rows_));
        rows_ = row;
    }
    const std::size_t at = splitAt(row);
    const std::size_t n = fresh.chunks_.size();
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(fresh.chunks_.begin()),
                   std::make_move_iterator(fresh.chunks_.end()));
    fresh = EncodedRows();
    rows_ += height;
    if (n > 0) mergeAround(at, at + n - 1);
    if (rows_ > kMaxRows) eraseRows(kMaxRows, rows_ - kMaxRows);  // empty rows only, as checked above
}

// ---- rows encoded ahead ----

EncodedRows::EncodedRows() = default;
EncodedRows::~EncodedRows() = default;
EncodedRows::EncodedRows(EncodedRows&&) noexcept = default;
EncodedRows& EncodedRows::operator=(EncodedRows&&) noexcept = default;

EncodedRows::EncodedRows(const PageGrid& grid, std::int32_t column) : column_(column) {
    const GridShape shape = shapeOf(grid);
    lastUsed_ = shape.lastUsed;
    width_ = shape.width;
    rows_ = static_cast<std::int64_t>(grid.rows.size());
    using Reader = SheetCells::Reader;
    for (std::size_t r = 0; r < grid.rows.size();) {
        std::size_t end = std::min(grid.rows.size(), r + static_cast<std::size_t>(kChunkRows));
        chunks_.push_back(Reader::encode(grid, r, end, column));
        // Very wide rows: cut the chunk earlier so it stays small enough to split cheaply.
        while (chunks_.back()->bytes.size() > kChunkBytes && chunks_.back()->rows() > 1) {
            end = r + static_cast<std::size_t>(chunks_.back()->rows()) / 2;
            chunks_.back() = Reader::encode(grid, r, end, column);
        }
        r = end;
    }
}

EncodedRows::EncodedRows(const EncodedRows& other)
    : rows_(other.rows_), lastUsed_(other.lastUsed_), width_(other.width_), column_(other.column_) {
    chunks_.reserve(other.chunks_.size());
    for (const auto& chunk : other.chunks_) chunks_.push_back(std::make_unique<SheetCells::Chunk>(*chunk));
}

std::size_t SheetCells::encodedSize() const {
    std::size_t total = 0;
    for (const auto& chunk : chunks_) total += chunk->bytes.size();
    return total;
}

std::size_t EncodedRows::bytes() const {
    std::size_t total = sizeof(*this);
    for (const auto& chunk : chunks_)
        total +=
            sizeof(SheetCells::Chunk) + chunk->bytes.capacity() + chunk->rowStart.capacity() * sizeof(std::uint32_t);
    return total;
}

// Rewrites the first column of every row that holds cells; the cells stay as they are.
void EncodedRows::moveToColumn(std::int32_t column) {
    if (column == column_) return;
    for (auto& chunk : chunks_) {
        std::string moved;
        moved.reserve(chunk->bytes.size() + chunk->rowStart.size() * 2);
        const auto* data = reinterpret_cast<const unsigned char*>(chunk->bytes.data());
        for (std::size_t r = 0; r < chunk->rowStart.size(); ++r) {
            const unsigned char* p = data + chunk->rowStart[r];
            const unsigned char* end =
                data + (r + 1 < chunk->rowStart.size() ? chunk->rowStart[r + 1] : chunk->bytes.size());
            chunk->rowStart[r] = static_cast<std::uint32_t>(moved.size());
            const std::uint64_t count = readVarint(p);
            putVarint(moved, count);
            if (count > 0)
                putVarint(moved,
                          readVarint(p) - static_cast<std::uint64_t>(column_) + static_cast<std::uint64_t>(column));
            moved.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
        }
        chunk->bytes = std::move(moved);
    }
    column_ = column;
}

std::int64_t placeGrid(SheetCells& cells, std::int64_t row, std::int64_t oldRows, std::int32_t column, PageGrid& grid) {
    if (!grid.encoded) {
        cells.replaceRows(row, oldRows, column, grid);
        return static_cast<std::int64_t>(grid.rows.size());
    }
    const std::int64_t height = grid.encoded->rowCount();
    if (grid.encoded.use_count() == 1)
        cells.replaceRows(row, oldRows, column, std::move(*grid.encoded));
    else
        cells.replaceRows(row, oldRows, column, EncodedRows(*grid.encoded));  // the others keep theirs
    return height;
}

CellValue SheetCells::cell(std::int64_t row, std::int32_t column) const {
    std::int64_t base = 0;
    for (const auto& chunk : chunks_) {
        if (row < base + chunk->rows()) {
            if (row < base) break;
            const auto* p = reinterpret_cast<const unsigned char*>(chunk->bytes.data()) +
                            chunk->rowStart[static_cast<std::size_t>(row - base)];
            const std::uint64_t count = readVarint(p);
            if (count == 0) break;
            const auto first = static_cast<std::int64_t>(readVarint(p));
            if (column < first || column >= first + static_cast<std::int64_t>(count)) break;
            CellView view;
            for (std::int64_t c = first; c <= column; ++c) p = cells_detail::readCell(p, view);
            switch (view.kind) {
                case CellValue::Kind::Empty: return {};
                case CellValue::Kind::Number: return CellValue::makeNumber(view.number, view.format);
                case CellValue::Kind::Text: return CellValue::makeText(std::string(view.text));
            }
        }
        base += chunk->rows();
    }
    return {};
}

}  // namespace qf::engine
