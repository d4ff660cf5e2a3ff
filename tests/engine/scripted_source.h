#pragma once
// A page source that tests script: each address gives a fixed grid, or fails
// with a description. Every workbook gets its own source object, all reading
// the same script.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"
#include "engine/web/page_source.h"
#include "engine/workbook/sheet_cells.h"

namespace qf::engine::testing {

struct PageScript {
    std::map<std::string, PageGrid> pages;  // address -> cells
    std::vector<std::string> loads;         // addresses in the order they were loaded
    std::vector<WebQueryOptions> options;   // the options each load was read with
    int sourcesMade = 0;
};

class ScriptedSource : public PageSource {
public:
    ScriptedSource(std::shared_ptr<PageScript> script, const WebQueryOptions& options)
        : script_(std::move(script)), options_(options) {}
    PageGrid load(const std::string& address) override {
        script_->loads.push_back(address);
        script_->options.push_back(options_);
        const auto it = script_->pages.find(address);
        if (it == script_->pages.end()) throw Failure("Unable to open " + address + ".");
        return it->second;
    }

private:
    std::shared_ptr<PageScript> script_;
    WebQueryOptions options_;
};

inline std::function<std::unique_ptr<PageSource>(const WebQueryOptions&)> scriptedFactory(
    const std::shared_ptr<PageScript>& script) {
    return [script](const WebQueryOptions& options) {
        ++script->sourcesMade;
        return std::make_unique<ScriptedSource>(script, options);
    };
}

// A grid of text cells, one string a cell; rows given as lists.
inline PageGrid textGrid(std::initializer_list<std::initializer_list<const char*>> rows) {
    PageGrid grid;
    for (const auto& row : rows) {
        grid.rows.emplace_back();
        for (const char* text : row)
            grid.rows.back().push_back(text && *text ? CellValue::makeText(text) : CellValue{});
    }
    return grid;
}

// The cells a sheet gets from a page source's grid (encoded ahead or not),
// placed at A1 of a sheet of their own.
inline SheetCells placed(PageGrid grid) {
    SheetCells cells;
    placeGrid(cells, 0, 0, 0, grid);
    return cells;
}

}  // namespace qf::engine::testing
