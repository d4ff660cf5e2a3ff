// Pages that do not fit on a sheet, served on loopback and imported into the
// embedded engine: such a page is listed as unreadable and places nothing, the
// pages before it stay as they were, and one that fits exactly is placed whole.

#include <gtest/gtest.h>

#include <cstdlib>
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
    runImport(host, ui, spreadsheet);
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

TEST_F(SheetLimits, OnOneSheetAPageOneRowTooLongForWhatIsLeftPlacesNothing) {
    constexpr int kHalf = 1'048'576 / 2;
    server.page("/half.txt", lines(kHalf, "half first", "h"), 200, "text/plain");
    server.page("/over.txt", lines(kHalf + 1, "over first", "o"), 200, "text/plain");
    server.page("/rest.txt", lines(kHalf, "rest first", "r"), 200, "text/plain");
    engine::EngineSpreadsheet spreadsheet(settings());
    Trap run(ui, "run ");
    // The cells of a workbook finished after the imports.
    auto finished = [&](const std::vector<std::string>& paths) {
        const auto workbook = spreadsheet.newWorkbook();
        workbook->startWorkbook(run);
        std::vector<bool> read;
        for (const auto& path : paths) read.push_back(importWeb(*workbook, server.url(path), ui));
        const auto book = engine::testing::readStrictly(workbook->finish(run));
        return std::make_pair(read, book.sheets.at(0).cells);
    };

    server.page("/huge.txt", lines(2 * kHalf + 1, "huge first", "u"), 200, "text/plain");
    const auto [hugeRead, hugeCells] = finished({"/huge.txt"});
    EXPECT_EQ(hugeRead, std::vector<bool>{false}) << "one row more than a sheet has";
    EXPECT_TRUE(hugeCells.empty());

    const auto [halfRead, halfCells] = finished({"/half.txt", "/over.txt"});
    EXPECT_EQ(halfRead, (std::vector<bool>{true, false})) << "the run lists an entry that gives false";
    EXPECT_EQ(halfCells.at("A1"), "half first") << "the earlier page did not move";
    EXPECT_EQ(halfCells.at("A524288"), "h");
    EXPECT_EQ(halfCells.count("A524289"), 0u) << "nothing of the refused page was placed";

    const auto [restRead, restCells] = finished({"/half.txt", "/over.txt", "/rest.txt"});
    EXPECT_EQ(restRead, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(restCells.at("A1"), "rest first");
    EXPECT_EQ(restCells.at("A524289"), "half first");
    EXPECT_EQ(restCells.at("A1048576"), "h");
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
}  // namespace qf
