#pragma once
// The engine's application instance behind its automation objects: it holds
// workbooks, the query tables of their sheets and the page source that the
// query tables' refreshes load from. The automation objects
// (engine_objects.cpp) are thin views on these and on the workbook model.
//
// Ownership: the application owns its workbooks (never removed) and the query
// tables of their sheets; a query table names its sheet without keeping it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/web/page_source.h"
#include "engine/workbook/workbook.h"
#include "engine_provider.h"

namespace qf::engine {

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

class Application {
public:
    explicit Application(std::shared_ptr<const EngineSettings> settings);

    const std::vector<std::shared_ptr<Workbook>>& workbooks() const { return workbooks_; }
    std::shared_ptr<Workbook> addWorkbook();
    std::shared_ptr<Workbook> activeWorkbook() const { return workbooks_.empty() ? nullptr : workbooks_.back(); }

    // The query tables of a sheet, in the order they were added.
    const std::vector<std::shared_ptr<QueryTable>>& queryTables(const Worksheet& sheet) const;
    std::shared_ptr<QueryTable> addQueryTable(const std::shared_ptr<Worksheet>& sheet, std::string connection,
                                              CellPosition destination);
    // Deletes a sheet from its workbook, and its query tables with it.
    void deleteSheet(Workbook& book, Worksheet& sheet);

    // Loads the query's page and places it at its destination (the rows of its
    // previous result are replaced). Fails with the page source's description, or
    // when the cells do not fit; the sheet is then unchanged.
    void refresh(QueryTable& query);

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
    std::map<const Worksheet*, std::vector<std::shared_ptr<QueryTable>>> queryTables_;
    std::unique_ptr<PageSource> source_;
    bool visible_ = false;
    int sheetsInNewWorkbook_;
    int bookCounter_ = 0;
};

}  // namespace qf::engine
