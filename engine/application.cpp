#include "application.h"

#include <algorithm>

#include "base/failure.h"
#include "engine/web/web_page_source.h"
#include "engine/workbook/xlsx_output.h"

namespace qf::engine {

Application::Application(std::shared_ptr<const EngineSettings> settings)
    : settings_(std::move(settings)), sheetsInNewWorkbook_(1) {
    setSheetsInNewWorkbook(settings_->sheetsInNewWorkbook);
}

std::shared_ptr<Workbook> Application::addWorkbook() {
    auto book = std::make_shared<Workbook>("Book" + std::to_string(++bookCounter_), sheetsInNewWorkbook_);
    workbooks_.push_back(book);
    return book;
}

const std::vector<std::shared_ptr<QueryTable>>& Application::queryTables(const Worksheet& sheet) const {
    static const std::vector<std::shared_ptr<QueryTable>> none;
    const auto it = queryTables_.find(&sheet);
    return it == queryTables_.end() ? none : it->second;
}

std::shared_ptr<QueryTable> Application::addQueryTable(const std::shared_ptr<Worksheet>& sheet, std::string connection,
                                                       CellPosition destination) {
    auto& tables = queryTables_[sheet.get()];
    auto query = std::make_shared<QueryTable>(sheet, std::move(connection), destination);
    query->settings.name = "ExternalData_" + std::to_string(tables.size() + 1);
    tables.push_back(query);
    return query;
}

void Application::deleteSheet(Workbook& book, Worksheet& sheet) {
    book.deleteSheet(sheet);
    queryTables_.erase(&sheet);
}

void Application::refresh(QueryTable& query) {
    const std::shared_ptr<Worksheet> sheet = query.sheet();
    if (!sheet || sheet->deleted()) throw Failure("The sheet has been deleted");
    PageGrid grid = pageSource().load(query.connection, query.settings.web);

    const CellPosition at = query.destination;
    const std::int64_t oldRows = query.resultRows;
    const std::int64_t height = sheet->place(at, oldRows, grid, query.settings.adjustColumnWidth);

    const std::int64_t delta = height - oldRows;
    for (const auto& other : queryTables(*sheet)) {
        if (other.get() == &query) continue;
        if (other->destination.row >= at.row + oldRows)  // an empty query may sit below the last used row
            other->destination.row = std::clamp<std::int64_t>(other->destination.row + delta, 0, kMaxRows - 1);
        else if (other->destination.row < at.row && other->destination.row + other->resultRows > at.row)
            other->resultRows = std::max<std::int64_t>(0, other->resultRows + delta);
    }
    query.resultRows = height;
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
        source_ = settings_->pageSourceFactory ? settings_->pageSourceFactory()
                                               : makeWebPageSource(settings_->fetchLimits, settings_->loadLimits);
        if (!source_) throw Failure("No page source is available to load web queries.");
    }
    return *source_;
}

}  // namespace qf::engine
