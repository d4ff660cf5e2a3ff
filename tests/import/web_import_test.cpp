#include <gtest/gtest.h>

#include "base/program_info.h"
#include "base/trap.h"
#include "fake_spreadsheet.h"
#include "import/web_import.h"
#include "support/scripted_services.h"

namespace qf {
namespace {

using testing::FakeSpreadsheet;
using testing::ScriptedServices;

TEST(normalizeUrl, CompletesEntriesAsTheListHoldsThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"www.example.org", "http://www.example.org"},
        {"http://www.example.org/a?b=1", "http://www.example.org/a?b=1"},
        {"  www.example.org\t", "http://www.example.org"},
        {"\"www.example.org", "http://www.example.org"},             // stray quote in front
        {"\xE2\x80\xA2 www.example.org", "http://www.example.org"},  // a bullet and a space
        {"WWW.EXAMPLE.ORG", "http://WWW.EXAMPLE.ORG"},               // not "www" for the search
        {"example.org", "http://example.org"},
        {"", "http://"},
        {"   ", "http://"},
    };
    for (const auto& [entry, address] : cases) EXPECT_EQ(normalizeUrl(entry), address) << "entry: " << entry;
}

TEST(normalizeUrl, NeverDowngradesDoublesTheSchemeOrOpensAnotherSite) {
    // A secure address stays secure, in any letter case.
    EXPECT_EQ(normalizeUrl("https://www.example.org/login"), "https://www.example.org/login");
    EXPECT_EQ(normalizeUrl("HTTPS://www.example.org"), "HTTPS://www.example.org");
    // An address with its scheme but without "www" is opened as it is.
    EXPECT_EQ(normalizeUrl("https://example.org/page"), "https://example.org/page");
    EXPECT_EQ(normalizeUrl("Http://example.org"), "Http://example.org");
    // A "www" inside a host name or a path is not where the address starts.
    EXPECT_EQ(normalizeUrl("example.org/www/index.html"), "http://example.org/www/index.html");
    EXPECT_EQ(normalizeUrl("news.wwwexample.org"), "http://news.wwwexample.org");
    EXPECT_EQ(normalizeUrl("localhost:8080/www"), "http://localhost:8080/www");
}

TEST(stripPath, KeepsWhatFollowsTheLastBackslash) {
    EXPECT_EQ(stripPath("C:\\Lists\\sites.txt"), "sites.txt");
    EXPECT_EQ(stripPath("www.example.org/a/b"), "www.example.org/a/b");
    EXPECT_EQ(stripPath("folder\\"), "");
    EXPECT_EQ(stripPath(""), "");
}

class ImportWebTest : public ::testing::Test {
protected:
    FakeSpreadsheet fake;
    ScriptedServices ui;

    std::string reportAt(const std::string& description, int line) {
        return errorReportText(description, "in QuillfenApp2021/08/31.Excel1.ImportWeb ", line);
    }
};

TEST_F(ImportWebTest, AddsTheQueryAtA1SetsItsOptionsAndRefreshes) {
    const automation::Object workbook = fake.newWorkbook();
    EXPECT_TRUE(importWeb(workbook, " www.example.org ", ui));

    const std::string sheet = "app1.wb1.Sheet1";
    const std::string qt = sheet + ".qt1";
    const std::vector<std::string> expected = {
        "app1.wb1.ActiveSheet get()",
        sheet + ".QueryTables get()",
        "app1.wb1.ActiveSheet get()",
        sheet + ".Range get(String:A1)",
        sheet + ".QueryTables.add call(Connection:=String:URL;http://www.example.org, Destination:=Object:" + sheet +
            "!A1)",
        qt + ".name put(String:?ocid=iehp)",
        qt + ".FieldNames put(Boolean:True)",
        qt + ".RowNumbers put(Boolean:False)",
        qt + ".FillAdjacentFormulas put(Boolean:False)",
        qt + ".PreserveFormatting put(Boolean:True)",
        qt + ".RefreshOnFileOpen put(Boolean:False)",
        qt + ".BackgroundQuery put(Boolean:True)",
        qt + ".RefreshStyle put(Long:1)",
        qt + ".SavePassword put(Boolean:False)",
        qt + ".SaveData put(Boolean:True)",
        qt + ".AdjustColumnWidth put(Boolean:True)",
        qt + ".RefreshPeriod put(Integer:0)",
        qt + ".WebSelectionType put(Long:1)",
        qt + ".WebFormatting put(Long:3)",
        qt + ".WebPreFormattedTextToColumns put(Boolean:True)",
        qt + ".WebConsecutiveDelimitersAsOne put(Boolean:True)",
        qt + ".WebSingleBlockTextImport put(Boolean:False)",
        qt + ".WebDisableDateRecognition put(Boolean:False)",
        qt + ".WebDisableRedirections put(Boolean:False)",
        qt + ".Refresh call(BackgroundQuery:=Boolean:False)",
    };
    EXPECT_EQ(fake.log, expected);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(fake.applications[0]->workbooks[0]->sheets[0]->pages,
              std::vector<std::string>{"URL;http://www.example.org"});

    // A second import onto the same sheet is anchored at A1 again and lands on top.
    EXPECT_TRUE(importWeb(workbook, "www.second.org", ui));
    EXPECT_EQ(fake.applications[0]->workbooks[0]->sheets[0]->pages,
              (std::vector<std::string>{"URL;http://www.second.org", "URL;http://www.example.org"}));
}

TEST_F(ImportWebTest, APageThatCannotBeReadIsFalseWithoutAnyBox) {
    fake.pageLoads = [](const std::string&) { return false; };
    const automation::Object workbook = fake.newWorkbook();
    EXPECT_FALSE(importWeb(workbook, "www.example.org", ui));
    EXPECT_TRUE(ui.boxes.empty());
    const auto& sheet = *fake.applications[0]->workbooks[0]->sheets[0];
    EXPECT_TRUE(sheet.pages.empty());
    EXPECT_EQ(sheet.queryTables, 1) << "the failed query stays on the sheet";
}

TEST_F(ImportWebTest, AQueryThatCannotBeAddedReportsEveryOptionAndIsFalse) {
    fake.failures["QueryTables.add"] = "Method 'Add' of object 'QueryTables' failed";
    EXPECT_FALSE(importWeb(fake.newWorkbook(), "www.example.org", ui));

    ASSERT_EQ(ui.boxes.size(), 20u);
    EXPECT_EQ(ui.boxes[0].text, reportAt("Method 'Add' of object 'QueryTables' failed", 100));
    for (std::size_t i = 1; i < 20; ++i) {
        const int statement = 100 + 2 * static_cast<int>(i);
        EXPECT_EQ(ui.boxes[i].text, reportAt("Object variable or With block variable not set", statement));
        EXPECT_EQ(ui.boxes[i].buttons, MessageButtons::Ok);
        EXPECT_EQ(ui.boxes[i].icon, MessageIcon::Exclamation);
        EXPECT_EQ(ui.boxes[i].caption, "Application Error");
    }
}

TEST_F(ImportWebTest, WithoutAWorkbookEveryStepFailsAndTheResultIsFalse) {
    EXPECT_FALSE(importWeb(automation::Object(), "www.example.org", ui));
    ASSERT_EQ(ui.boxes.size(), 20u);
    EXPECT_EQ(ui.boxes[0].text, reportAt("Object variable or With block variable not set", 100));
    EXPECT_EQ(ui.boxes[19].text, reportAt("Object variable or With block variable not set", 138));
}

TEST_F(ImportWebTest, AnOptionThatIsRefusedIsReportedAndTheImportGoesOn) {
    fake.failures["QueryTable.RefreshPeriod"] = "Type mismatch";
    const automation::Object workbook = fake.newWorkbook();
    EXPECT_TRUE(importWeb(workbook, "www.example.org", ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, reportAt("Type mismatch", 124));
    EXPECT_EQ(fake.logWithout({"RefreshPeriod"}).size() + 1, fake.log.size());
    EXPECT_NE(fake.log.back().find(".Refresh call("), std::string::npos);
}

TEST(ExcelRunning, IsSeenOnlyWhenTheRunningInstanceNamesItselfExactly) {
    FakeSpreadsheet fake;
    EXPECT_FALSE(isSpreadsheetRunning(fake));
    fake.runningInstanceName = "Microsoft Excel";
    EXPECT_TRUE(isSpreadsheetRunning(fake));
    EXPECT_EQ(fake.log.back(), "running.<default> get()");
    fake.runningInstanceName = "microsoft excel";
    EXPECT_FALSE(isSpreadsheetRunning(fake));
    fake.runningInstanceName = "Microsoft Excel ";
    EXPECT_FALSE(isSpreadsheetRunning(fake));
    fake.runningInstanceName = "Microsoft Excel";
    fake.failures["Running."] = "Automation error";
    EXPECT_FALSE(isSpreadsheetRunning(fake)) << "a failing default member is no running instance";
    EXPECT_TRUE(fake.allReleased());
}

TEST(ExcelRunning, TheWarningAsksOnlyWhenOneRunsAndYesGoesOn) {
    const std::string question =
        "Excel may be open. It is recommended that you close Excel first.\r"
        "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
        "Would you like to proceed anyway?";
    FakeSpreadsheet fake;
    ScriptedServices ui;
    EXPECT_FALSE(warnIfSpreadsheetOpen(fake, ui));
    EXPECT_TRUE(ui.boxes.empty());

    fake.runningInstanceName = "Microsoft Excel";
    ui.answerMessage(MessageAnswer::Yes);
    EXPECT_FALSE(warnIfSpreadsheetOpen(fake, ui));
    ui.answerMessage(MessageAnswer::No);
    EXPECT_TRUE(warnIfSpreadsheetOpen(fake, ui));
    ASSERT_EQ(ui.boxes.size(), 2u);
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.text, question);
        EXPECT_EQ(box.buttons, MessageButtons::YesNo);
        EXPECT_EQ(box.icon, MessageIcon::None);
        EXPECT_EQ(box.caption, "") << "the application title";
    }
}

}  // namespace
}  // namespace qf
