// The import driving the embedded spreadsheet engine: pages served on loopback
// land in the workbook that the engine writes, read back cell by cell.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/engine_spreadsheet.h"
#include "import/web_import.h"
#include "import/import_run.h"
#include "base/program_info.h"
#include "base/trap.h"
#include "list_host.h"
#include "loopback_server.h"
#include "support/scripted_services.h"
#include "xlsx_reader.h"
#include "support/test_helpers.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServer;
using testing::ScriptedServices;
using testing::XlsxContent;
using Strings = std::vector<std::string>;

constexpr const char* kPricesPage =
    "<html><head><title>Shop</title></head><body><h1>Prices</h1>"
    "<table><tr><th>Item</th><th>Cost</th></tr><tr><td>Tea</td><td>3</td></tr></table>"
    "<p>The end</p></body></html>";
constexpr const char* kNotesPage = "<html><body><p>First note</p><p>Second note</p></body></html>";

class ImportIntoEngine : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testing::newTempFolder("import");
        server.page("/prices.html", kPricesPage);
        server.page("/notes.html", kNotesPage);
    }
    void TearDown() override { fs::remove_all(folder); }

    engine::EngineSettings settings() {
        engine::EngineSettings s;
        s.documentsFolder = folder;
        return s;
    }
    void run(testing::ListHost& host) {
        engine::EngineSpreadsheet spreadsheet(settings());
        runImport(host, ui, spreadsheet, testing::kRunLocations);
        for (const RunSummary& summary : host.finished) written.push_back(summary.workbook);
    }
    XlsxContent onlyWorkbook() {
        EXPECT_EQ(written.size(), 1u);
        if (written.empty()) return {};
        XlsxContent content = testing::readXlsx(written.front());
        EXPECT_EQ(content.error, "");
        return content;
    }

    std::string folder;
    Strings written;
    LoopbackServer server;
    ScriptedServices ui;
};

TEST_F(ImportIntoEngine, ImportWebBringsAPageIntoTheSheet) {
    engine::EngineSpreadsheet spreadsheet(settings());
    const auto workbook = spreadsheet.newWorkbook();
    Trap run(ui, "run ");
    workbook->startWorkbook(run);

    EXPECT_TRUE(importWeb(*workbook, server.url("/prices.html"), ui, testing::kRunLocations.webImport));
    EXPECT_FALSE(importWeb(*workbook, server.url("/missing.html"), ui, testing::kRunLocations.webImport))
        << "a 404 is no page";
    EXPECT_TRUE(ui.boxes.empty()) << "a page that cannot be read is not reported";
    written.push_back(workbook->finish(run));

    const XlsxContent book = onlyWorkbook();
    ASSERT_EQ(book.sheets.size(), 1u);
    const std::string& sheet = book.sheets[0];
    EXPECT_EQ(book.at(sheet, "A1"), "str:Prices");
    EXPECT_EQ(book.at(sheet, "A2"), "str:Item");
    EXPECT_EQ(book.at(sheet, "B2"), "str:Cost");
    EXPECT_EQ(book.at(sheet, "A3"), "str:Tea");
    EXPECT_EQ(book.at(sheet, "B3"), "int:3");
    EXPECT_EQ(book.at(sheet, "A4"), "str:The end");
    EXPECT_EQ(book.at(sheet, "A5"), "");
}

TEST_F(ImportIntoEngine, ARunOnOneSheetPutsTheNewestPageOnTop) {
    testing::ListHost host;
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/";
    host.entries = {server.url("/prices.html"), server.url("/gone.html"), server.url("/notes.html"), unreachable, ""};
    run(host);

    EXPECT_EQ(ui.messages(),
              Strings{"Done.\r\n\r\nThe following URLs: \r\n" + server.url("/gone.html") + "\r\n" + unreachable +
                      "\r\n\r\n\r\ncould not be read. \r\nPlease check them. "
                      "Please email a screenshot of this message to " +
                      supportEmail() + " if you have any questions.\r\n\r\nThe workbook was saved as " +
                      host.finished.at(0).workbook});
    const XlsxContent book = onlyWorkbook();
    ASSERT_EQ(book.sheets.size(), 1u);
    const std::string& sheet = book.sheets[0];
    const Strings columnA = {
        "str:First note", "str:Second note", "str:Prices", "str:Item", "str:Tea", "str:The end", ""};
    for (std::size_t row = 0; row < columnA.size(); ++row)
        EXPECT_EQ(book.at(sheet, "A" + std::to_string(row + 1)), columnA[row]) << "row " << row + 1;
    EXPECT_EQ(book.at(sheet, "B5"), "int:3") << "the earlier page moved down whole";
}

TEST_F(ImportIntoEngine, ARunOnSeparateSheetsGivesOneSheetPerEntry) {
    testing::ListHost host;
    host.option2 = true;
    host.entries = {server.url("/prices.html"), server.url("/gone.html"), server.url("/notes.html")};
    run(host);

    EXPECT_EQ(ui.messages().size(), 1u) << "no error report";
    const XlsxContent book = onlyWorkbook();
    ASSERT_EQ(book.sheets.size(), 3u);
    EXPECT_EQ(book.at(book.sheets[0], "A1"), "str:Prices");
    EXPECT_TRUE(book.cells.count(book.sheets[1]) == 0 || book.cells.at(book.sheets[1]).empty())
        << "the failed entry keeps an empty sheet";
    EXPECT_EQ(book.at(book.sheets[2], "A1"), "str:First note");
    EXPECT_EQ(book.at(book.sheets[2], "A2"), "str:Second note");
}

}  // namespace
}  // namespace qf
