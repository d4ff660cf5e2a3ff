// Pages that do not fit on a sheet, served on loopback and imported into the
// embedded engine: a page that no sheet could hold is listed as unreadable and
// places nothing, the pages before it stay as they were, and one that fits
// exactly is placed whole; one that only the pages before it leave no room for
// goes onto a new sheet.

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>
#include <filesystem>

#include "base/program_info.h"
#include "base/trap.h"
#include "engine/engine_spreadsheet.h"
#include "import/web_import.h"
#include "import/import_run.h"
#include "list_host.h"
#include "loopback_server.h"
#include "support/scripted_services.h"
#include "tests/engine/xlsx_strict_reader.h"
#include "support/test_helpers.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServer;

std::string tableOfColumns(int columns, const std::string& text) {
    std::string page = "<table><tr>";
    for (int i = 0; i < columns; ++i) page += "<td>" + text + "</td>";
    return page + "</tr></table>";
}

// A plain text page: `lines` lines, the first one `first`, the others `text`.
std::string lines(int count, const std::string& first, const std::string& text) {
    std::string page = first + "\n";
    page.reserve(static_cast<std::size_t>(count) * (text.size() + 1));
    for (int i = 1; i < count; ++i) page += text + "\n";
    return page;
}

class SheetLimits : public ::testing::Test {
protected:
    void SetUp() override { folder = testing::newTempFolder("limits"); }
    void TearDown() override { fs::remove_all(folder); }

    engine::EngineSettings settings() {
        engine::EngineSettings s;
        s.documentsFolder = folder;
        return s;
    }

    std::string folder;
    std::vector<std::string> written;
    LoopbackServer server;
    testing::ScriptedServices ui;
};

TEST_F(SheetLimits, ATableOneColumnTooWideIsListedAndTheSheetsWidthFitsExactly) {
    server.page("/first.html", "<p>first page</p>");
    server.page("/16384.html", tableOfColumns(16384, "w"));
    server.page("/16385.html", tableOfColumns(16385, "x"));
    engine::EngineSpreadsheet spreadsheet(settings());
    testing::ListHost host;
    host.entries = {server.url("/first.html"), server.url("/16384.html"), server.url("/16385.html")};
    runImport(host, ui, spreadsheet, testing::kRunLocations);
    written.push_back(host.finished.at(0).workbook);

    EXPECT_EQ(ui.messages(),
              std::vector<std::string>{
                  "Done.\r\n\r\nThe following URLs: \r\n" + server.url("/16385.html") +
                  "\r\n\r\ncould not be read. \r\nPlease check them. "
                  "Please email a screenshot of this message to " +
                  supportEmail() + " if you have any questions.\r\n\r\nThe workbook was saved as " + written.at(0)});
    ASSERT_EQ(written.size(), 1u);
    const auto book = engine::testing::readStrictly(written[0]);
    ASSERT_EQ(book.sheets.size(), 1u);
    const auto& cells = book.sheets[0].cells;
    EXPECT_EQ(cells.size(), 16384u + 1);
    EXPECT_EQ(cells.at("A1"), "w");
    EXPECT_EQ(cells.at("XFD1"), "w");
    EXPECT_EQ(cells.at("A2"), "first page");
}

// A page that does not fit in the rows the sheet has left goes onto a new sheet
// after it, and the next pages follow it there; a page taller than any sheet
// is unreadable and adds no sheet.
TEST_F(SheetLimits, OnOneSheetAPageTooLongForWhatIsLeftGoesOntoANewSheetAfterIt) {
    constexpr int kHalf = 1'048'576 / 2;
    server.page("/half.txt", lines(kHalf, "half first", "h"), 200, "text/plain");
    server.page("/over.txt", lines(kHalf + 1, "over first", "o"), 200, "text/plain");
    server.page("/rest.txt", lines(kHalf, "rest first", "r"), 200, "text/plain");
    server.page("/huge.txt", lines(2 * kHalf + 1, "huge first", "u"), 200, "text/plain");
    engine::EngineSpreadsheet spreadsheet(settings());
    Trap run(ui, "run ");
    // Whether each page was read, and the finished workbook's sheets.
    auto finished = [&](const std::vector<std::string>& paths) {
        const auto workbook = spreadsheet.newWorkbook();
        workbook->startWorkbook(run);
        std::vector<bool> read;
        for (const auto& path : paths)
            read.push_back(importWeb(*workbook, server.url(path), ui, testing::kRunLocations.webImport));
        const int added = workbook->sheetsAddedForRoom();
        return std::make_tuple(read, added, engine::testing::readStrictly(workbook->finish(run)).sheets);
    };

    const auto [hugeRead, hugeAdded, hugeSheets] = finished({"/half.txt", "/huge.txt"});
    EXPECT_EQ(hugeRead, (std::vector<bool>{true, false})) << "one row more than a sheet has";
    EXPECT_EQ(hugeAdded, 0);
    ASSERT_EQ(hugeSheets.size(), 1u);
    EXPECT_EQ(hugeSheets[0].cells.at("A1"), "half first");

    const auto [read, added, sheets] = finished({"/half.txt", "/over.txt", "/rest.txt"});
    EXPECT_EQ(read, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(added, 2);
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[0].name, "Sheet1");
    EXPECT_EQ(sheets[0].cells.at("A1"), "half first") << "the earlier page did not move";
    EXPECT_EQ(sheets[0].cells.count("A524289"), 0u) << "nothing of the next page is on its sheet";
    EXPECT_EQ(sheets[1].cells.at("A1"), "over first");
    EXPECT_EQ(sheets[1].cells.at("A524289"), "o");
    EXPECT_EQ(sheets[2].cells.at("A1"), "rest first") << "the over page left no room for it either";
    EXPECT_TRUE(ui.boxes.empty());
}

// Two pages of 600,000 rows on one sheet: the second goes on a second sheet,
// nothing is called unreadable, and the closing box says two sheets were needed.
TEST_F(SheetLimits, TwoPagesOfSixHundredThousandRowsFillTwoSheets) {
    server.page("/first.txt", lines(600'000, "first page", "f"), 200, "text/plain");
    server.page("/second.txt", lines(600'000, "second page", "s"), 200, "text/plain");
    server.page("/small.html", "<p>small page</p>");
    engine::EngineSpreadsheet spreadsheet(settings());
    testing::ListHost host;
    host.entries = {server.url("/first.txt"), server.url("/second.txt"), server.url("/small.html")};
    runImport(host, ui, spreadsheet, testing::kRunLocations);
    ASSERT_EQ(host.finished.size(), 1u);
    EXPECT_EQ(host.finished[0].unreadable, 0);
    EXPECT_EQ(host.finished[0].sheetsAddedForRoom, 1);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"Done.\r\n\r\nThe pages needed 2 sheets: a sheet holds "
                                                      "1,048,576 rows.\r\n\r\nThe workbook was saved as " +
                                                      host.finished[0].workbook});
    const auto book = engine::testing::readStrictly(host.finished[0].workbook);
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.sheets[0].cells.at("A1"), "first page");
    EXPECT_EQ(book.sheets[1].cells.at("A1"), "small page") << "the next page follows onto the new sheet";
    EXPECT_EQ(book.sheets[1].cells.at("A2"), "second page");
    EXPECT_EQ(book.sheets[1].cells.at("A600001"), "s");
}

}  // namespace
}  // namespace qf
