#include <gtest/gtest.h>

#include <cctype>

#include "base/program_info.h"
#include "fake_spreadsheet.h"
#include "import/import_run.h"
#include "list_host.h"
#include "support/scripted_services.h"

namespace qf {
namespace {

using testing::FakeSpreadsheet;
using testing::FakeWorkbook;
using testing::ListHost;
using testing::ScriptedServices;
using Strings = std::vector<std::string>;

constexpr Pointer kBusy = Pointer::Hourglass;
constexpr Pointer kIdle = Pointer::Default;
constexpr const char* kRunLocation = "in QuillfenApp2021/08/31.Form1.PushButton2_Click ";

std::string doneWith(const Strings& unreadable) {
    std::string list;
    for (const auto& e : unreadable) list += "\r\n" + e;
    return "Done.\r\n\r\nThe following URLs: " + list + "\r\n\r\ncould not be read. \r\n" +
           "Please check them. Please email a screenshot of this message to " + supportEmail() +
           " if you have any questions.";
}

class ImportRun : public ::testing::Test {
protected:
    FakeSpreadsheet fake;
    ScriptedServices ui;
    ListHost host;

    void run() { runImport(host, ui, fake); }
    const FakeWorkbook& workbook(std::size_t app = 0) { return *fake.applications.at(app)->workbooks.at(0); }
    Strings pagesOn(const std::string& sheetName, std::size_t app = 0) {
        for (const auto& s : workbook(app).sheets)
            if (s->name == sheetName) return s->pages;
        return {"(no such sheet)"};
    }
    // The line numbers of the error reports naming a location.
    std::vector<int> reportedLines(const std::string& location) {
        std::vector<int> lines;
        const std::string marker = location + "at line ";
        for (const auto& text : ui.messages()) {
            const std::size_t at = text.find(marker);
            if (at == std::string::npos) continue;
            const std::size_t digits = at + marker.size();
            if (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])))
                lines.push_back(std::stoi(text.substr(digits)));
        }
        return lines;
    }
};

TEST_F(ImportRun, AnEmptyListOnlySaysSo) {
    fake.runningInstanceName = "Microsoft Excel";
    run();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No files added.");
    EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(ui.boxes[0].caption, "");
    EXPECT_TRUE(fake.log.empty()) << "the spreadsheet is not touched, no question asked";
    EXPECT_TRUE(ui.pointerHistory.empty());
    EXPECT_TRUE(host.values.empty());
}

TEST_F(ImportRun, WithTheSpreadsheetAlreadyRunningNoEndsSilentlyAndYesGoesOn) {
    fake.runningInstanceName = "Microsoft Excel";
    host.entries = {"www.a.org"};
    ui.answerMessage(MessageAnswer::No);
    run();
    EXPECT_EQ(ui.boxes.size(), 1u) << "the question only";
    EXPECT_EQ(fake.log, (Strings{"provider.getRunning(Excel.Application)", "running.<default> get()"}));
    EXPECT_TRUE(ui.pointerHistory.empty());
    EXPECT_TRUE(host.values.empty() && host.texts.empty());

    ui.answerMessage(MessageAnswer::Yes);
    run();
    ASSERT_EQ(fake.applications.size(), 1u) << "an instance of its own";
    EXPECT_EQ(pagesOn("Sheet1"), Strings{"URL;http://www.a.org"});
    EXPECT_EQ(ui.messages().back(), "Done.");
}

TEST_F(ImportRun, OneSheetTakesEveryEntryAtA1AndNamesTheUnreadableOne) {
    host.entries = {"www.a.org", "www.b.org"};
    fake.pageLoads = [](const std::string& c) { return c.find("www.b.org") == std::string::npos; };
    run();

    const Strings skeleton = {
        "provider.getRunning(Excel.Application)",
        "provider.create(Excel.Application)",
        "app1.Workbooks get()",
        "app1.Workbooks.add call()",
        "app1.DisplayAlerts put(Boolean:False)",
        "app1.Workbooks get()",
        "app1.Workbooks.count get()",
        "app1.Workbooks.<default> get(Long:1)",
        "app1.wb1.Sheet1.QueryTables.add call(Connection:=String:URL;http://www.a.org, "
        "Destination:=Object:app1.wb1.Sheet1!A1)",
        "app1.wb1.Sheet1.QueryTables.add call(Connection:=String:URL;http://www.b.org, "
        "Destination:=Object:app1.wb1.Sheet1!A1)",
        "app1.wb1.ActiveSheet get()",
        "app1.wb1.Sheet1.Range get(String:A1)",
        "app1.wb1.Sheet1!A1.Select call()",
        "app1.Visible put(Boolean:True)",
        "app1.DisplayAlerts put(Boolean:True)",
    };
    // Without the query tables' own calls and the lookups that lead to each query.
    Strings withoutQueries = fake.logWithout({".qt"});
    // Each import looks up the active sheet twice, its query tables and its A1 first.
    for (const char* lookup : {"app1.wb1.Sheet1.QueryTables get()", "app1.wb1.Sheet1.Range get(String:A1)",
                               "app1.wb1.ActiveSheet get()", "app1.wb1.ActiveSheet get()"})
        for (int entry = 0; entry < 2; ++entry)
            withoutQueries.erase(std::find(withoutQueries.begin(), withoutQueries.end(), lookup));
    EXPECT_EQ(withoutQueries, skeleton);

    EXPECT_EQ(workbook().sheetNames(), (Strings{"Sheet1", "Sheet2", "Sheet3"})) << "the default sheets stay";
    EXPECT_EQ(pagesOn("Sheet1"), Strings{"URL;http://www.a.org"});
    EXPECT_EQ(workbook().sheets[0]->selected, "A1");
    EXPECT_TRUE(fake.applications[0]->visible);
    EXPECT_TRUE(fake.applications[0]->displayAlerts);
    EXPECT_TRUE(fake.allReleased()) << "the run keeps no reference";

    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{kBusy, kBusy, kBusy, kBusy, kBusy, kIdle}));
    EXPECT_EQ(ui.eventRounds, 4);
    EXPECT_EQ(host.texts, (Strings{"Processing: www.a.org", "Processing: www.b.org", "Progress Bar"}));
    EXPECT_EQ(ui.messages(), Strings{doneWith({"www.b.org"})});
    EXPECT_EQ(ui.boxes.back().buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes.back().icon, MessageIcon::None);
    EXPECT_EQ(ui.boxes.back().caption, "");
}

TEST_F(ImportRun, SeparateSheetsGiveOneSheetPerEntryInListOrder) {
    for (int initialSheets : {3, 1}) {
        SCOPED_TRACE(initialSheets);
        // A spreadsheet and a window of its own for each round.
        FakeSpreadsheet spreadsheet;
        ScriptedServices window;
        spreadsheet.sheetsInNewWorkbook = initialSheets;
        spreadsheet.pageLoads = [](const std::string& c) { return c.find("bad") == std::string::npos; };
        host.option2 = true;
        host.entries = {"www.a.org", "www.bad.org", "www.c.org"};
        runImport(host, window, spreadsheet);

        const FakeWorkbook& book = *spreadsheet.applications.at(0)->workbooks.at(0);
        const int first = initialSheets + 1;  // the number of the first sheet the run adds
        const auto name = [](int n) { return "Sheet" + std::to_string(n); };
        EXPECT_EQ(book.sheetNames(), (Strings{"Sheet1", name(first), name(first + 1)}));
        EXPECT_EQ(book.sheets[0]->pages, Strings{"URL;http://www.a.org"});
        EXPECT_TRUE(book.sheets[1]->pages.empty()) << "a failed entry keeps its sheet";
        EXPECT_EQ(book.sheets[2]->pages, Strings{"URL;http://www.c.org"});
        EXPECT_EQ(book.active, book.sheets[2]);
        EXPECT_EQ(book.sheets[2]->selected, "A1");

        Strings expected;
        for (int i = initialSheets; i >= 2; --i) expected.push_back("app1.wb1." + name(i) + ".Delete call()");
        expected.push_back("app1.wb1." + name(first + 2) + ".Delete call()");
        EXPECT_EQ(spreadsheet.linesContaining(".Delete call()"), expected);
        EXPECT_NE(std::find(spreadsheet.log.begin(), spreadsheet.log.end(),
                            "app1.wb1.Sheets.add call(After:=Object:app1.wb1." + name(first) + ")"),
                  spreadsheet.log.end());
        EXPECT_EQ(window.messages(), Strings{doneWith({"www.bad.org"})});
    }
}

TEST_F(ImportRun, ProgressStandsAtEachEntryWhileItIsImported) {
    host.entries = {"www.a.org", "www.b.org", "www.c.org", "x.y\\page.html"};
    std::vector<double> atRefresh;
    fake.pageLoads = [&](const std::string&) {
        atRefresh.push_back(host.values.back());
        return true;
    };
    run();
    EXPECT_EQ(atRefresh, (std::vector<double>{25, 50, 75, 100}));
    EXPECT_EQ(host.values.back(), 0);
    EXPECT_EQ(host.texts, (Strings{"Processing: www.a.org", "Processing: www.b.org", "Processing: www.c.org",
                                   "Processing: page.html", "Progress Bar"}));
    EXPECT_EQ(pagesOn("Sheet1").front(), "URL;http://x.y\\page.html") << "the import uses the whole entry";
    EXPECT_EQ(ui.messages(), Strings{"Done."});
}

TEST_F(ImportRun, UnreadableEntriesAreListedAsTheyStandInTheList) {
    host.entries = {" www.bad-one.org", "www.good.org", "bad two", "www.good.org"};
    fake.pageLoads = [](const std::string& c) { return c.find("bad") == std::string::npos; };
    run();
    EXPECT_EQ(ui.messages(), Strings{doneWith({" www.bad-one.org", "bad two"})});
    EXPECT_EQ(pagesOn("Sheet1"), (Strings{"URL;http://www.good.org", "URL;http://www.good.org"}));
}

TEST_F(ImportRun, WithoutTheSpreadsheetEveryStepReportsAndEveryEntryIsUnreadable) {
    fake.failures["Application.create"] = "ActiveX component can't create object";
    host.option2 = true;
    host.entries = {"www.a.org", "www.b.org"};
    run();
    EXPECT_EQ(reportedLines(kRunLocation), (std::vector<int>{110, 112, 114, 116, 120, 122, 156, 156, 166, 168, 170}));
    EXPECT_EQ(reportedLines("in QuillfenApp2021/08/31.Excel1.ImportWeb ").size(), 2u * 20);
    EXPECT_EQ(ui.messages().back(), doneWith({"www.a.org", "www.b.org"}));
    EXPECT_EQ(ui.pointerHistory.back(), Pointer::Default);
    EXPECT_EQ(host.texts.back(), "Progress Bar");
}

TEST_F(ImportRun, AListThatChangesDuringTheRunIsNeverReadPastItsEnd) {
    // Shortened while entry 2 yields: the run stops after entry 2.
    host.entries = {"www.a.org", "www.b.org", "www.c.org", "www.d.org"};
    ui.onNextEvents([] {});
    ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.entries.resize(2); });
    run();
    EXPECT_EQ(host.values, (std::vector<double>{25, 100, 0}));
    EXPECT_EQ(pagesOn("Sheet1"), (Strings{"URL;http://www.b.org", "URL;http://www.a.org"}));
    EXPECT_FALSE(host.readPastEnd);
    EXPECT_EQ(ui.messages(), Strings{"Done."});
    EXPECT_TRUE(fake.applications[0]->visible) << "the end steps ran";

    // Emptied at the first yield: nothing imported, no division by zero.
    host.entries = {"www.a.org", "www.b.org"};
    host.values.clear();
    ui.onNextEvents([&] { host.entries.clear(); });
    run();
    EXPECT_EQ(host.values, (std::vector<double>{0}));
    EXPECT_TRUE(pagesOn("Sheet1", 1).empty());
    EXPECT_FALSE(host.readPastEnd);
    EXPECT_EQ(ui.messages().back(), "Done.");
    EXPECT_EQ(ui.pointerHistory.back(), Pointer::Default);

    // Grown: the bound stays, the percentage divides by the count of the moment.
    host.entries = {"www.a.org", "www.b.org"};
    host.values.clear();
    ui.onNextEvents([&] { host.entries.push_back("www.c.org"); });
    run();
    ASSERT_EQ(host.values.size(), 3u);
    EXPECT_DOUBLE_EQ(host.values[0], 100.0 / 3);
    EXPECT_DOUBLE_EQ(host.values[1], 200.0 / 3);
    EXPECT_EQ(pagesOn("Sheet1", 2).size(), 2u);
}

TEST_F(ImportRun, SwitchingTheSheetModeTakesEffectFromThatPointOn) {
    // Switched on while entry 2 yields: no trimming, a sheet after entries 2 and 3,
    // the empty last one deleted.
    host.entries = {"www.a.org", "www.b.org", "www.c.org"};
    ui.onNextEvents([] {});
    ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.option2 = true; });
    run();
    EXPECT_EQ(workbook(0).sheetNames(), (Strings{"Sheet1", "Sheet2", "Sheet3", "Sheet4"}));
    EXPECT_EQ(pagesOn("Sheet1", 0), (Strings{"URL;http://www.b.org", "URL;http://www.a.org"}));
    EXPECT_EQ(pagesOn("Sheet4", 0), Strings{"URL;http://www.c.org"});

    // Switched off while entry 3 yields: no sheet after it, none deleted at the end.
    for (int i = 0; i < 4; ++i) ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.option2 = false; });
    run();
    EXPECT_EQ(workbook(1).sheetNames(), (Strings{"Sheet1", "Sheet4", "Sheet5"}));
    EXPECT_EQ(pagesOn("Sheet5", 1), Strings{"URL;http://www.c.org"});
}

TEST_F(ImportRun, TheEndDeletesOnlyTheEmptySheetAddedAfterTheLastImport) {
    // Adding the sheet after the last entry fails: its page stays.
    host.option2 = true;
    host.entries = {"www.a.org", "www.b.org"};
    fake.pageLoads = [&](const std::string& c) {
        if (c.find("www.b.org") != std::string::npos)
            fake.failures["Sheets.add"] = "Method 'Add' of object 'Sheets' failed";
        return true;
    };
    run();
    EXPECT_EQ(reportedLines(kRunLocation), std::vector<int>{156});
    EXPECT_EQ(workbook(0).sheetNames(), (Strings{"Sheet1", "Sheet4"}));
    EXPECT_EQ(pagesOn("Sheet4", 0), Strings{"URL;http://www.b.org"});

    // One sheet until the list shrinks; the option is switched while the run
    // looks past the new end: the sheet with every page stays.
    fake.failures.clear();
    fake.sheetsInNewWorkbook = 2;
    host.option2 = false;
    host.entries = {"www.a.org", "www.b.org", "www.c.org"};
    ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.entries.resize(1); });
    ui.onNextEvents([&] { host.option2 = true; });
    run();
    EXPECT_EQ(workbook(1).sheetNames(), (Strings{"Sheet1", "Sheet2"}));
    EXPECT_EQ(pagesOn("Sheet1", 1), Strings{"URL;http://www.a.org"});
}

TEST_F(ImportRun, ASecondRunStartedWhileTheFirstYieldsHasItsOwnWorkbook) {
    host.entries = {"www.a.org", "www.b.org"};
    ui.onNextEvents([&] { run(); });
    run();
    ASSERT_EQ(fake.applications.size(), 2u);
    for (std::size_t app = 0; app < 2; ++app) {
        EXPECT_EQ(pagesOn("Sheet1", app), (Strings{"URL;http://www.b.org", "URL;http://www.a.org"}));
        EXPECT_TRUE(fake.applications[app]->visible);
    }
    EXPECT_EQ(ui.messages(), (Strings{"Done.", "Done."}));
    // The inner run ends the busy state; the outer one sets it again before its import.
    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{kBusy, kBusy, kBusy, kBusy, kBusy, kBusy, kIdle, kBusy, kBusy,
                                                       kBusy, kBusy, kIdle}));
    EXPECT_TRUE(fake.allReleased());
}

}  // namespace
}  // namespace qf
