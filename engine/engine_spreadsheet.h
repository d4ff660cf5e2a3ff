#pragma once
// The embedded spreadsheet engine as the import's spreadsheet: each run gets a
// workbook of its own, with a page source of its own that fetches and lays out
// its pages (engine/web/) into the workbook's sheets (engine/workbook/).
//
//     qf::engine::EngineSettings settings;
//     settings.output = "/tmp/report.xlsx";  // empty: a new BookN.xlsx in the documents folder
//     qf::engine::EngineSpreadsheet spreadsheet(std::move(settings));
//     qf::runImport(host, ui, spreadsheet);   // the host hears the file's path at the end
//
// Finishing a workbook writes it as an .xlsx file into the documents folder
// ("Book1.xlsx", "Book2.xlsx", ..., never overwriting a file), or to the
// settings' output, and gives the file's path.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/web/page_source.h"
#include "engine/web/request_settings.h"
#include "engine/web/web_page_source.h"
#include "import/port/spreadsheet.h"

namespace qf::engine {

struct EngineSettings {
    // Where workbooks are written. Empty: the user's documents folder
    // (XDG_DOCUMENTS_DIR from user-dirs.dirs, else ~/Documents), created if missing.
    std::string documentsFolder;
    // The file a workbook is written to instead, when not empty: an existing
    // file there is kept and the write fails, unless replaceOutput.
    std::string output;
    bool replaceOutput = false;
    // How every page is read and laid out. An empty user's locale is the
    // system's (platform::userLocale), and en-US where the system names none.
    WebQueryOptions pageOptions;
    // How the requests present themselves. Empty headers are a browser's (the
    // Accept-Language of pageOptions' locale, else of the user's). Each run
    // gets a cookie store of its own (request.cookies is not used), holding
    // the cookie file's cookies when one is named; a user agent that cannot be
    // sent or a cookie file that cannot be read is reported at the run's start
    // (statement 110), and the run goes on with the default agent and no file.
    RequestSettings request;
    // Makes the page source of one workbook, reading pages with the options
    // (pageOptions). Empty: the web page source, with these limits (pagesAhead 0
    // turns reading ahead off).
    std::function<std::unique_ptr<PageSource>(const WebQueryOptions&)> pageSourceFactory;
    FetchLimits fetchLimits;
    LoadLimits loadLimits;
    // When and how pages built by scripts are rendered in a browser.
    RenderSettings render;
    // The number of sheets in a new workbook (1 to 255).
    int startingSheets = 1;
};

// Whether pages can be read in the locale a language tag names: CLDR knows its
// language ("de", "de-CH", "sr-Latn"; not "xx").
bool knownLocale(std::string_view tag);

class EngineSpreadsheet : public Spreadsheet {
public:
    explicit EngineSpreadsheet(EngineSettings settings = {});

    // The engine is always there.
    bool canStart() override { return true; }
    // Each run has a workbook of its own; there is no instance to share.
    bool instanceRunning() override { return false; }
    std::unique_ptr<NewWorkbook> newWorkbook() override;

private:
    std::shared_ptr<const EngineSettings> settings_;
};

}  // namespace qf::engine
