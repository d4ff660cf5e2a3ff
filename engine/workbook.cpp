#include "workbook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/failure.h"
#include "automation/object.h"
#include "web_page_source.h"
#include "xlsx_output.h"
#include "xml_text.h"

namespace qf::engine {

namespace {

std::size_t utf8Chars(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    return n;
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
        case CellValue::Kind::Number: chars = shownLength(cell.number, cell.format); break;
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

std::shared_ptr<QueryTable> Worksheet::addQueryTable(std::string connection, CellPosition destination) {
    auto query = std::make_shared<QueryTable>(weak_from_this(), std::move(connection), destination);
    query->settings.name = "ExternalData_" + std::to_string(queryTables_.size() + 1);
    queryTables_.push_back(query);
    return query;
}

void Worksheet::refresh(QueryTable& query) {
    if (!book_) throw Failure("The sheet has been deleted");
    PageGrid grid = book_->application().pageSource().load(query.connection, query.settings.web);

    const CellPosition at = query.destination;
    const std::int64_t oldRows = query.resultRows;
    const std::int64_t height = placeGrid(cells_, at.row, oldRows, at.column, grid);  // fails before changing anything

    const std::int64_t delta = height - oldRows;
    for (const auto& other : queryTables_) {
        if (other.get() == &query) continue;
        if (other->destination.row >= at.row + oldRows)  // an empty query may sit below the last used row
            other->destination.row = std::clamp<std::int64_t>(other->destination.row + delta, 0, kMaxRows - 1);
        else if (other->destination.row < at.row && other->destination.row + other->resultRows > at.row)
            other->resultRows = std::max<std::int64_t>(0, other->resultRows + delta);
    }
    query.resultRows = height;
    if (query.settings.adjustColumnWidth)
        fitColumns(grid.columnWidths.empty() && !grid.encoded ? fittedWidths(grid) : grid.columnWidths, at.column);
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

Workbook::Workbook(Application* app, std::string name, int sheets) : app_(app), name_(std::move(name)) {
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
        if (sheet.get() != except && automation::sameName(sheet->name(), name)) return true;
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

// ---- application ----

Application::Application(std::shared_ptr<const EngineSettings> settings)
    : settings_(std::move(settings)), sheetsInNewWorkbook_(1) {
    setSheetsInNewWorkbook(settings_->sheetsInNewWorkbook);
}

std::shared_ptr<Workbook> Application::addWorkbook() {
    auto book = std::make_shared<Workbook>(this, "Book" + std::to_string(++bookCounter_), sheetsInNewWorkbook_);
    workbooks_.push_back(book);
    return book;
}

void Application::setSheetsInNewWorkbook(int count) {
    if (count < 1 || count > 255) throw Failure(failure_text::kInvalidArgument);
    sheetsInNewWorkbook_ = count;
}

void Application::setVisible(bool visible) {
    if (visible) {
        const std::string folder = !settings_->outputPath.empty()       ? std::string()
                                   : settings_->documentsFolder.empty() ? userDocumentsFolder()
                                                                        : settings_->documentsFolder;
        for (const auto& book : workbooks_) {
            if (book->shown) continue;
            const std::string path = settings_->outputPath.empty()
                                         ? saveAsNewFile(*book, folder)
                                         : saveToFile(*book, settings_->outputPath, settings_->replaceOutput);
            book->shown = true;
            if (settings_->openWorkbook) settings_->openWorkbook(path);
        }
    }
    visible_ = visible;
}

PageSource& Application::pageSource() {
    if (!source_) {
        source_ = settings_->pageSourceFactory
                      ? settings_->pageSourceFactory()
                      : makeWebPageSource(settings_->fetchLimits, settings_->loadLimits, settings_->valueLocales);
        if (!source_) throw Failure("No page source is available to load web queries.");
    }
    return *source_;
}

}  // namespace qf::engine
