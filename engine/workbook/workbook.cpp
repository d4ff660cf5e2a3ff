#include "workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/failure.h"
#include "base/text.h"
#include "xml_text.h"

namespace qf::engine {

namespace {

std::size_t utf8Chars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
}

std::string numberText(const char* format, double value) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, value);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(std::min(n, 63)) : 0);
}

// Digits of the integer part grouped by thousands ("1,234").
std::size_t groupedLength(double value) {
    const std::string digits = numberText("%.0f", std::fabs(std::trunc(value)));
    return digits.size() + (digits.size() - 1) / 3;
}

}  // namespace

// ---- references ----

std::string columnName(std::int32_t column) {
    std::string name;
    for (std::int32_t c = column + 1; c > 0; c = (c - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

bool parseCellReference(std::string_view text, CellPosition& out) {
    std::size_t i = 0;
    auto skipDollar = [&] {
        if (i < text.size() && text[i] == '$') ++i;
    };
    skipDollar();
    std::int64_t column = 0;
    std::size_t letters = 0;
    for (; i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) && letters < 4; ++i, ++letters)
        column = column * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
    if (letters == 0 || letters > 3 || column > kMaxColumns) return false;
    skipDollar();
    std::int64_t row = 0;
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && digits < 8; ++i, ++digits)
        row = row * 10 + (text[i] - '0');
    if (digits == 0 || i != text.size() || row < 1 || row > kMaxRows) return false;
    out = {row - 1, static_cast<std::int32_t>(column - 1)};
    return true;
}

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
        case CellValue::Kind::Number:
            switch (cell.format) {
                case NumberFormat::General: chars = numberText("%.10g", cell.number).size(); break;
                case NumberFormat::Percent: chars = numberText("%.2f", cell.number * 100).size() + 1; break;
                case NumberFormat::Currency: chars = groupedLength(cell.number) + 4 + (cell.number < 0); break;
                case NumberFormat::Date: chars = 10; break;
                case NumberFormat::Time: chars = 8; break;
                case NumberFormat::DateTime: chars = 16; break;
            }
            break;
    }
    return std::min(kMaxFittedColumnWidth, static_cast<double>(chars) + 1.0);
}

// ---- worksheet ----

void Worksheet::setName(const std::string& given) {
    if (!book_) throw Failure("The sheet has been deleted");
    // The file cannot hold some characters in a name; they become U+FFFD here
    // already, so that the name is checked as it will be written.
    const std::string name = xmlNameText(given);
    const std::size_t chars = utf8Chars(name);
    if (chars == 0 || chars > 31 || name.find_first_of(":\\/?*[]") != std::string::npos || name.front() == '\'' ||
        name.back() == '\'')
        throw Failure("\"" + name +
                      "\" is not a valid sheet name: it must have 1 to 31 characters, none of : \\ / ? * [ ], "
                      "and must not begin or end with an apostrophe.");
    if (book_->nameTaken(name, this)) throw Failure("The sheet name \"" + name + "\" is already taken.");
    name_ = name;
}

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

Workbook::Workbook(std::string name, int sheets) : name_(std::move(name)) {
    for (int i = 0; i < sheets; ++i) addSheet(sheets_.size());
    active_ = sheets_.front();
}

int Workbook::indexOf(const Worksheet& sheet) const {
    for (std::size_t i = 0; i < sheets_.size(); ++i)
        if (sheets_[i].get() == &sheet) return static_cast<int>(i);
    return -1;
}

bool Workbook::nameTaken(const std::string& name, const Worksheet* except) const {
    for (const auto& sheet : sheets_)
        if (sheet.get() != except && sameIgnoringAsciiCase(sheet->name(), name)) return true;
    return false;
}

std::shared_ptr<Worksheet> Workbook::addSheet(std::size_t position) {
    std::string name;
    do name = "Sheet" + std::to_string(++sheetCounter_);
    while (nameTaken(name, nullptr));
    auto sheet = std::make_shared<Worksheet>(this, std::move(name));
    sheets_.insert(sheets_.begin() + static_cast<std::ptrdiff_t>(std::min(position, sheets_.size())), sheet);
    active_ = sheet;
    return sheet;
}

void Workbook::deleteSheet(Worksheet& sheet) {
    const int index = indexOf(sheet);
    if (index < 0) throw Failure("The sheet has been deleted");
    if (sheets_.size() == 1)
        throw Failure("The sheet \"" + sheet.name() + "\" cannot be deleted: a workbook must keep at least one sheet.");
    const auto keep = sheets_[static_cast<std::size_t>(index)];  // alive until the workbook no longer refers to it
    sheets_.erase(sheets_.begin() + index);
    if (active_.get() == &sheet)
        active_ = sheets_[std::min<std::size_t>(static_cast<std::size_t>(index), sheets_.size() - 1)];
    sheet.detach();
}

}  // namespace qf::engine
