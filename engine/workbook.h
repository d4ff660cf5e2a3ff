#pragma once
// The engine's workbook model: an application holds workbooks, a workbook holds
// worksheets, a worksheet holds cells and query tables. The automation objects
// (engine_objects.cpp) are thin views on these.
//
// Ownership: the application owns its workbooks (never removed), a workbook owns
// its sheets, a sheet owns its query tables. A deleted sheet leaves its workbook
// (workbook() becomes nullptr) but lives on while something still refers to it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine_provider.h"
#include "page_source.h"
#include "sheet_cells.h"

namespace qf::engine {

class Application;
class Workbook;
class Worksheet;

inline constexpr double kMaxFittedColumnWidth = 80.0;  // characters

// The refresh styles of a query table.
enum RefreshStyle : std::int32_t {
    kOverwriteCells = 0,
    kInsertDeleteCells = 1,
    kInsertEntireRows = 2,
};

struct QueryTableSettings {
    std::string name;
    bool fieldNames = true;
    bool rowNumbers = false;
    bool fillAdjacentFormulas = false;
    bool preserveFormatting = true;
    bool refreshOnFileOpen = false;
    bool backgroundQuery = true;
    std::int32_t refreshStyle = kInsertDeleteCells;
    bool savePassword = false;
    bool saveData = true;
    bool adjustColumnWidth = true;
    std::int16_t refreshPeriod = 0;  // minutes; kept, not acted on
    WebQueryOptions web;
};

struct CellPosition {
    std::int64_t row = 0;     // 0-based
    std::int32_t column = 0;  // 0-based
    bool operator==(const CellPosition&) const = default;
};

class QueryTable {
public:
    QueryTable(std::weak_ptr<Worksheet> sheet, std::string connectionText, CellPosition topLeft)
        : connection(std::move(connectionText)), destination(topLeft), sheet_(std::move(sheet)) {}

    std::shared_ptr<Worksheet> sheet() const { return sheet_.lock(); }

    std::string connection;
    CellPosition destination;     // top-left cell of the result; moves with the rows above it
    std::int64_t resultRows = 0;  // rows the last refresh placed
    QueryTableSettings settings;

private:
    std::weak_ptr<Worksheet> sheet_;
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

    const std::vector<std::shared_ptr<QueryTable>>& queryTables() const { return queryTables_; }
    std::shared_ptr<QueryTable> addQueryTable(std::string connection, CellPosition destination);

    // Loads the query's page and places it at its destination (the rows of its
    // previous result are replaced). Fails with the page source's description, or
    // when the cells do not fit; the sheet is then unchanged.
    void refresh(QueryTable& query);

    CellPosition selectionFirst, selectionLast;

private:
    void fitColumns(const std::vector<double>& fitted, std::int32_t firstColumn);

    Workbook* book_;
    std::string name_;
    SheetCells cells_;
    std::map<std::int32_t, double> widths_;
    std::vector<std::shared_ptr<QueryTable>> queryTables_;
};

class Workbook {
public:
    Workbook(Application* app, std::string name, int sheets);

    Application& application() const { return *app_; }
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
    Application* app_;
    std::string name_;
    std::vector<std::shared_ptr<Worksheet>> sheets_;
    std::shared_ptr<Worksheet> active_;
    int sheetCounter_ = 0;
};

class Application {
public:
    explicit Application(std::shared_ptr<const EngineSettings> settings);

    const std::vector<std::shared_ptr<Workbook>>& workbooks() const { return workbooks_; }
    std::shared_ptr<Workbook> addWorkbook();
    std::shared_ptr<Workbook> activeWorkbook() const { return workbooks_.empty() ? nullptr : workbooks_.back(); }

    bool displayAlerts = true;
    bool visible() const { return visible_; }
    // Making the application visible writes every workbook not yet shown to the
    // documents folder and asks the desktop to open it.
    void setVisible(bool visible);
    int sheetsInNewWorkbook() const { return sheetsInNewWorkbook_; }
    void setSheetsInNewWorkbook(int count);

    PageSource& pageSource();  // made on first use
    const EngineSettings& settings() const { return *settings_; }

private:
    std::shared_ptr<const EngineSettings> settings_;
    std::vector<std::shared_ptr<Workbook>> workbooks_;
    std::unique_ptr<PageSource> source_;
    bool visible_ = false;
    int sheetsInNewWorkbook_;
    int bookCounter_ = 0;
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
