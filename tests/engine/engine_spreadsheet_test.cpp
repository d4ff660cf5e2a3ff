// The engine as the import's spreadsheet: a run's steps on a workbook of its
// own, with pages from a scripted source, and the file it is finished into.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/trap.h"
#include "engine/engine_spreadsheet.h"
#include "scripted_source.h"
#include "support/scripted_services.h"
#include "support/test_helpers.h"
#include "xlsx_strict_reader.h"

namespace qf::engine {
namespace {

namespace fs = std::filesystem;
using testing::textGrid;

class EngineSpreadsheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = qf::testing::newTempFolder("engine");
        script->pages["http://one.example"] = textGrid({{"One", "1a"}, {"one end"}});
        script->pages["http://two.example"] = textGrid({{"Two"}});
    }
    void TearDown() override { fs::remove_all(folder); }

    EngineSettings settings(int sheets = 1) {
        EngineSettings s;
        s.documentsFolder = folder + "/Documents";
        s.pageSourceFactory = testing::scriptedFactory(script);
        s.startingSheets = sheets;
        return s;
    }
    std::vector<std::string> reports() const { return ui.messages(); }

    std::string folder;
    std::shared_ptr<testing::PageScript> script = std::make_shared<testing::PageScript>();
    qf::testing::ScriptedServices ui;
    Trap run{ui, "run "};
};

TEST_F(EngineSpreadsheetTest, ARunsStepsBuildTheWorkbookThatIsWritten) {
    EngineSettings s = settings(3);
    s.pageOptions.disableDateRecognition = true;
    EngineSpreadsheet spreadsheet(std::move(s));
    EXPECT_TRUE(spreadsheet.canStart());
    EXPECT_FALSE(spreadsheet.instanceRunning());
    const auto book = spreadsheet.newWorkbook();
    book->startWorkbook(run);
    book->keepFirstSheetOnly(run);
    EXPECT_EQ(script->sourcesMade, 0) << "the page source is made when a page is first wanted";

    std::string reason;
    EXPECT_TRUE(book->importPage("http://one.example", run, &reason));
    EXPECT_TRUE(book->importPage("http://two.example", run, &reason));
    EXPECT_FALSE(book->importPage("http://gone.example", run, &reason));
    EXPECT_EQ(reason, "Unable to open http://gone.example.");
    ASSERT_EQ(script->options.size(), 3u);
    EXPECT_TRUE(script->options[0].disableDateRecognition) << "every page is read with the settings' options";
    book->addSheetAfterLast();
    EXPECT_TRUE(book->importPage("http://one.example", run, &reason));
    book->addSheetAfterLast();
    book->deleteActiveSheet();
    const std::string path = book->finish(run);
    EXPECT_TRUE(reports().empty());

    EXPECT_EQ(path, folder + "/Documents/Book1.xlsx");
    const auto written = testing::readStrictly(path);
    ASSERT_EQ(written.sheets.size(), 2u) << "the first of three, and the one added after it";
    EXPECT_EQ(written.sheets[0].name, "Sheet1");
    EXPECT_EQ(written.sheets[1].name, "Sheet4");
    const auto& first = written.sheets[0].cells;
    EXPECT_EQ(first.at("A1"), "Two") << "each page at A1, above the ones before";
    EXPECT_EQ(first.at("A2"), "One");
    EXPECT_EQ(first.at("B2"), "1a");
    EXPECT_EQ(first.at("A3"), "one end");
    EXPECT_EQ(first.size(), 4u) << "the unreadable page placed nothing";
    EXPECT_EQ(written.sheets[1].cells.at("A1"), "One");
}

// A cookie file or user agent from the settings that cannot be used is the
// run's error report when it starts; the run goes on without them.
TEST_F(EngineSpreadsheetTest, RequestSettingsThatCannotBeUsedAreReportedAtTheStart) {
    std::ofstream(folder + "/cookies.txt") << "# Netscape HTTP Cookie File\nnot a cookie\n";
    const std::pair<std::string, std::string> cases[] = {
        {"cookies.txt", "the cookie file " + folder + "/cookies.txt cannot be used: line 2: not seven fields"},
        {"none.txt", "the cookie file " + folder + "/none.txt cannot be read: No such file or directory"},
        {"", "the user agent holds a line break"},
    };
    for (const auto& [file, report] : cases) {
        qf::testing::ScriptedServices shown;
        Trap trap(shown, "run ");
        EngineSettings s = settings();
        if (!file.empty()) s.request.cookieFile = folder + "/" + file;
        if (file.empty()) s.request.userAgent = "Agent\r\nX-Other: 1";
        EngineSpreadsheet spreadsheet(std::move(s));
        const auto book = spreadsheet.newWorkbook();
        book->startWorkbook(trap);
        ASSERT_EQ(shown.messages().size(), 1u) << file;
        EXPECT_NE(shown.messages()[0].find(report), std::string::npos) << shown.messages()[0];
        EXPECT_NE(shown.messages()[0].find("110"), std::string::npos) << shown.messages()[0];
        Trap webImport(shown, "import ");
        EXPECT_TRUE(book->importPage("http://one.example", webImport, nullptr));
        EXPECT_FALSE(book->finish(trap).empty());
    }
}

TEST_F(EngineSpreadsheetTest, AWorkbookThatCannotBeWrittenIsReportedAtItsStatement) {
    std::ofstream(folder + "/report.xlsx") << "the user's own";
    std::ofstream(folder + "/plain-file") << "x";
    struct Case {
        std::string documents, output;
        bool replace;
        std::string written;  // empty: refused, with a report beginning with failure
        std::string failure;
    };
    const Case cases[] = {
        {folder + "/plain-file/Documents", "", false, "",
         "Cannot create the folder " + folder + "/plain-file/Documents: "},
        {folder, folder + "/report.xlsx", false, "", "Cannot write the workbook file " + folder + "/report.xlsx"},
        {folder, folder + "/report.xlsx", true, folder + "/report.xlsx", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output.empty() ? c.documents : c.output);
        qf::testing::ScriptedServices shown;
        Trap trap(shown, "run ");
        EngineSettings s = settings();
        s.documentsFolder = c.documents;
        s.output = c.output;
        s.replaceOutput = c.replace;
        EngineSpreadsheet spreadsheet(std::move(s));
        const auto book = spreadsheet.newWorkbook();
        book->startWorkbook(trap);
        EXPECT_EQ(book->finish(trap), c.written);
        if (c.failure.empty()) {
            EXPECT_TRUE(shown.boxes.empty());
            EXPECT_EQ(testing::strictReadFailure(c.written), "");
        } else {
            ASSERT_EQ(shown.messages().size(), 1u);
            EXPECT_EQ(shown.messages()[0].rfind(c.failure, 0), 0u) << shown.messages()[0];
            EXPECT_NE(shown.messages()[0].find("run at line 168"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace qf::engine
