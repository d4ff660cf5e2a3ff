#include <gtest/gtest.h>

#include <cctype>

#include "base/program_info.h"
#include "import/import_run.h"
#include "list_host.h"
#include "support/recording_spreadsheet.h"
#include "support/scripted_services.h"

namespace qf {
namespace {

using testing::ListHost;
using testing::RecordedWorkbook;
using testing::RecordingSpreadsheet;
using testing::ScriptedServices;
using Strings = std::vector<std::string>;

constexpr Pointer kBusy = Pointer::Hourglass;
constexpr Pointer kIdle = Pointer::Default;
const std::string& kRunLocation = testing::kRunLocations.run;
const std::string& kImportLocation = testing::kRunLocations.webImport;

// The closing box names the workbook the recording spreadsheet writes.
const std::string kSaved = "\r\n\r\nThe workbook was saved as /documents/Book1.xlsx";
const std::string kDone = "Done." + kSaved;

std::string doneWith(const Strings& unreadable, bool saved = true) {
    std::string list;
    for (const auto& e : unreadable) list += "\r\n" + e;
    return "Done.\r\n\r\nThe following URLs: " + list + "\r\n\r\ncould not be read. \r\n" +
           "Please check them. Please email a screenshot of this message to " + supportEmail() +
           " if you have any questions." + (saved ? kSaved : "");
}

class ImportRun : public ::testing::Test {
protected:
    RecordingSpreadsheet spreadsheet;
    ScriptedServices ui;
    ListHost host;

    void run() { runImport(host, ui, spreadsheet, testing::kRunLocations); }
    const RecordedWorkbook& workbook(std::size_t run = 0) { return *spreadsheet.workbooks.at(run); }
    Strings pagesOn(const std::string& sheet, std::size_t run = 0) { return workbook(run).sheet(sheet).pages; }
    // The line numbers of the error reports naming a location.
    static std::vector<int> reportedLines(const ScriptedServices& shown, const std::string& location) {
        std::vector<int> lines;
        const std::string marker = location + "at line ";
        for (const auto& text : shown.messages()) {
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
    spreadsheet.running = true;
    run();
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No files added.");
    EXPECT_EQ(ui.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(ui.boxes[0].caption, "");
    EXPECT_TRUE(spreadsheet.log.empty()) << "the spreadsheet is not touched, no question asked";
    EXPECT_TRUE(ui.pointerHistory.empty());
    EXPECT_TRUE(host.started.empty() && host.finished.empty());
}

TEST_F(ImportRun, WithTheSpreadsheetAlreadyRunningNoEndsSilentlyAndYesGoesOn) {
    spreadsheet.running = true;
    host.entries = {"www.a.org"};
    ui.answerMessage(MessageAnswer::No);
    run();
    EXPECT_EQ(ui.boxes.size(), 1u) << "the question only";
    EXPECT_EQ(spreadsheet.log, Strings{"instanceRunning"});
    EXPECT_TRUE(ui.pointerHistory.empty());
    EXPECT_TRUE(host.started.empty() && host.finished.empty());

    ui.answerMessage(MessageAnswer::Yes);
    run();
    ASSERT_EQ(spreadsheet.workbooks.size(), 1u) << "a workbook of its own";
    EXPECT_EQ(pagesOn("Sheet1"), Strings{"http://www.a.org"});
    EXPECT_EQ(ui.messages().back(), kDone);
}

TEST_F(ImportRun, OneSheetTakesEveryEntryAtA1AndNamesTheUnreadableOne) {
    host.entries = {"www.a.org", "www.b.org"};
    spreadsheet.pageLoads = [](const std::string& address) { return address != "http://www.b.org"; };
    run();

    EXPECT_EQ(spreadsheet.log, (Strings{"instanceRunning", "newWorkbook", "startWorkbook",
                                        "importPage http://www.a.org", "importPage http://www.b.org", "finish"}));
    EXPECT_EQ(workbook().names(), (Strings{"Sheet1", "Sheet2", "Sheet3"})) << "the default sheets stay";
    EXPECT_EQ(pagesOn("Sheet1"), Strings{"http://www.a.org"});
    EXPECT_TRUE(workbook().finished);
    EXPECT_EQ(spreadsheet.alive, 0) << "the run keeps no reference";

    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{kBusy, kBusy, kBusy, kBusy, kBusy, kIdle}));
    EXPECT_EQ(ui.eventRounds, 4);
    EXPECT_EQ(host.started, (std::vector<ListHost::Started>{{1, 2, "www.a.org"}, {2, 2, "www.b.org"}}));
    EXPECT_EQ(host.failed, Strings{"2 www.b.org: Unable to open http://www.b.org."});
    ASSERT_EQ(host.finished.size(), 1u);
    EXPECT_EQ(host.finished[0].workbook, "/documents/Book1.xlsx");
    EXPECT_EQ(host.finished[0].count, 2);
    EXPECT_EQ(host.finished[0].unreadable, 1);
    EXPECT_FALSE(host.finished[0].stopped);
    EXPECT_EQ(ui.messages(), Strings{doneWith({"www.b.org"})});
    EXPECT_EQ(ui.boxes.back().buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.boxes.back().icon, MessageIcon::None);
    EXPECT_EQ(ui.boxes.back().caption, "");
}

// The workbook goes to the host while the run is still busy and is named in
// the closing box, whether the host could show it or not; the installed
// application's workbook (no file) goes nowhere. What the spreadsheet says of
// how pages were read comes after the unreadable entries, before the
// workbook's name.
TEST_F(ImportRun, TheWrittenWorkbookIsShownBeforeTheRunEndsOrNamedInTheClosingBox) {
    struct Case {
        std::string path;
        bool shows;
        Strings shown;
        std::string done;
    };
    const std::string book = "/documents/Book1.xlsx";
    for (const Case& c : {Case{book, true, {book + " busy"}, "Done.\r\n\r\nThe workbook was saved as " + book},
                          Case{book, false, {book + " busy"}, "Done.\r\n\r\nThe workbook was saved as " + book},
                          Case{"", false, {}, "Done."}}) {
        RecordingSpreadsheet sheets;
        ScriptedServices boxes;
        ListHost list;
        list.entries = {"www.a.org"};
        list.ui = &boxes;
        list.showsWorkbook = c.shows;
        sheets.finishedPath = c.path;
        runImport(list, boxes, sheets, testing::kRunLocations);
        EXPECT_EQ(list.workbooksShown, c.shown) << c.path;
        EXPECT_EQ(boxes.messages(), Strings{c.done}) << c.path;
    }
    RecordingSpreadsheet sheets;
    ScriptedServices boxes;
    ListHost list;
    list.entries = {"www.a.org", "www.gone.org"};
    list.ui = &boxes;
    list.showsWorkbook = false;
    sheets.pageLoads = [](const std::string& address) { return address.find("gone") == std::string::npos; };
    sheets.notes = {"\"http://www.a.org/\": the page could not be rendered", "1 page was built by scripts"};
    runImport(list, boxes, sheets, testing::kRunLocations);
    EXPECT_EQ(boxes.messages(), Strings{doneWith({"www.gone.org"}, false) +
                                        "\r\n\r\n\"http://www.a.org/\": the page could not be rendered\r\n1 page was "
                                        "built by scripts\r\n\r\nThe workbook was saved as " +
                                        book});
}

// A long list of unreadable entries never makes the closing box taller than
// the screen: its text names twenty, its details every one; and the box says
// how many sheets the pages needed when they did not fit on one.
TEST_F(ImportRun, TheClosingBoxNamesTwentyUnreadableEntriesAndTheSheetsThePagesNeeded) {
    struct Case {
        int unreadable;
        int sheetsAdded;
        std::string ending;  // of the text, before where the workbook was saved
        bool details;
    };
    const std::string request =
        "\r\n\r\ncould not be read. \r\nPlease check them. Please email a screenshot of "
        "this message to " +
        supportEmail() + " if you have any questions.";
    const std::string sheets = "\r\n\r\nThe pages needed 3 sheets: a sheet holds 1,048,576 rows.";
    const Case cases[] = {
        {20, 0, "\r\nwww.bad19.org" + request, false},
        {21, 0, "\r\nwww.bad19.org\r\nand 1 more" + request, true},
        {3032, 2, "\r\nwww.bad19.org\r\nand 3012 more" + request + sheets, true},
        {0, 2, "Done." + sheets, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unreadable);
        RecordingSpreadsheet fresh;
        ScriptedServices window;
        fresh.sheetsAddedForRoom = c.sheetsAdded;
        fresh.pageLoads = [](const std::string& address) { return address.find("bad") == std::string::npos; };
        host.entries = {"www.good.org"};
        Strings bad;
        for (int i = 0; i < c.unreadable; ++i) bad.push_back("www.bad" + std::to_string(i) + ".org");
        host.entries.insert(host.entries.end(), bad.begin(), bad.end());
        runImport(host, window, fresh, testing::kRunLocations);
        ASSERT_EQ(window.boxes.size(), 1u);
        const std::string& text = window.boxes[0].text;
        EXPECT_EQ(text.substr(0, text.size() - kSaved.size()).ends_with(c.ending), true) << text;
        EXPECT_EQ(text.find("www.bad20.org"), std::string::npos);
        std::string all;
        for (const auto& entry : bad) all += (all.empty() ? "" : "\r\n") + entry;
        EXPECT_EQ(window.boxes[0].details, c.details ? all : "");
        EXPECT_EQ(host.finished.back().sheetsAddedForRoom, c.sheetsAdded);
    }
}

TEST_F(ImportRun, SeparateSheetsGiveOneSheetPerEntryInListOrder) {
    for (int initialSheets : {3, 1}) {
        SCOPED_TRACE(initialSheets);
        RecordingSpreadsheet fresh;
        ScriptedServices window;
        fresh.startingSheets = initialSheets;
        fresh.pageLoads = [](const std::string& address) { return address.find("bad") == std::string::npos; };
        host.option2 = true;
        host.entries = {"www.a.org", "www.bad.org", "www.c.org"};
        runImport(host, window, fresh, testing::kRunLocations);

        const RecordedWorkbook& book = *fresh.workbooks.at(0);
        const auto name = [](int n) { return "Sheet" + std::to_string(n); };
        const int first = initialSheets + 1;  // the number of the first sheet the run adds
        EXPECT_EQ(book.names(), (Strings{"Sheet1", name(first), name(first + 1)}));
        EXPECT_EQ(book.sheets[0].pages, Strings{"http://www.a.org"});
        EXPECT_TRUE(book.sheets[1].pages.empty()) << "a failed entry keeps its sheet";
        EXPECT_EQ(book.sheets[2].pages, Strings{"http://www.c.org"});
        EXPECT_EQ(book.active, 2u);
        EXPECT_EQ(fresh.linesStartingWith("keepFirstSheetOnly").size(), 1u);
        EXPECT_EQ(fresh.linesStartingWith("addSheetAfterLast").size(), 3u);
        EXPECT_EQ(fresh.linesStartingWith("deleteActiveSheet").size(), 1u);
        EXPECT_EQ(window.messages(), Strings{doneWith({"www.bad.org"})});
    }
}

TEST_F(ImportRun, EachEntryIsStartedWithItsShareOfTheListAndImportedWhole) {
    host.entries = {"www.a.org", "www.b.org", "www.c.org", "x.y\\page.html"};
    std::vector<double> atImport;
    spreadsheet.pageLoads = [&](const std::string&) {
        atImport.push_back(host.shares().back());
        return true;
    };
    run();
    EXPECT_EQ(atImport, (std::vector<double>{25, 50, 75, 100}));
    EXPECT_EQ(host.started.back().entry, "x.y\\page.html");
    EXPECT_EQ(pagesOn("Sheet1").front(), "http://x.y\\page.html") << "the import uses the whole entry";
    EXPECT_EQ(host.finished.size(), 1u);
    EXPECT_EQ(ui.messages(), Strings{kDone});
}

TEST_F(ImportRun, UnreadableEntriesAreListedAsTheyStandInTheList) {
    host.entries = {" www.bad-one.org", "www.good.org", "bad two", "www.good.org"};
    spreadsheet.pageLoads = [](const std::string& address) { return address.find("bad") == std::string::npos; };
    run();
    EXPECT_EQ(ui.messages(), Strings{doneWith({" www.bad-one.org", "bad two"})});
    EXPECT_EQ(pagesOn("Sheet1"), (Strings{"http://www.good.org", "http://www.good.org"}));
}

// A step of the spreadsheet that fails is reported with its statement's number
// (and the handler's location), and the run goes on with the next one.
TEST_F(ImportRun, AFailingStepIsReportedAtItsStatementAndTheRunGoesOn) {
    struct Case {
        const char* step;
        std::vector<int> runLines;
        std::vector<int> importLines;
        Strings unreadable;
    };
    using namespace run_statement;
    constexpr int kAddPage = web_import_statement::kAddPageAtA1;
    const Case cases[] = {
        {"startWorkbook",
         {kStartSpreadsheet, kMoreThanOneSheet, kAddSheet, kAddSheet, kSelectFirstCell},
         {kAddPage, kAddPage},
         {"www.a.org", "www.b.org"}},
        {"keepFirstSheetOnly", {kMoreThanOneSheet}, {}, {}},
        {"importPage", {}, {kAddPage, kAddPage}, {"www.a.org", "www.b.org"}},
        {"addSheetAfterLast", {kAddSheet, kAddSheet}, {}, {}},
        {"deleteActiveSheet", {kDeleteEmptySheet}, {}, {}},
        {"finish", {kSelectFirstCell}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        RecordingSpreadsheet fresh;
        ScriptedServices window;
        fresh.failures[c.step] = "Automation error";
        host.option2 = true;
        host.entries = {"www.a.org", "www.b.org"};
        runImport(host, window, fresh, testing::kRunLocations);
        EXPECT_EQ(reportedLines(window, kRunLocation), c.runLines);
        EXPECT_EQ(reportedLines(window, kImportLocation), c.importLines);
        // A workbook that was not started or not finished is named nowhere.
        const bool saved = std::string(c.step) != "finish" && std::string(c.step) != "startWorkbook";
        EXPECT_EQ(window.messages().back(),
                  c.unreadable.empty() ? (saved ? kDone : "Done.") : doneWith(c.unreadable, saved));
        EXPECT_EQ(window.pointerHistory.back(), Pointer::Default);
        EXPECT_EQ(fresh.alive, 0);
    }
}

TEST_F(ImportRun, AListThatChangesDuringTheRunIsNeverReadPastItsEnd) {
    // Shortened while entry 2 yields: the run stops after entry 2.
    host.entries = {"www.a.org", "www.b.org", "www.c.org", "www.d.org"};
    ui.onNextEvents([] {});
    ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.entries.resize(2); });
    run();
    EXPECT_EQ(host.shares(), (std::vector<double>{25, 100}));
    EXPECT_EQ(pagesOn("Sheet1"), (Strings{"http://www.b.org", "http://www.a.org"}));
    EXPECT_FALSE(host.readPastEnd);
    EXPECT_EQ(ui.messages(), Strings{kDone});
    EXPECT_TRUE(workbook().finished) << "the end steps ran";

    // Emptied at the first yield: nothing imported, no division by zero.
    host.entries = {"www.a.org", "www.b.org"};
    host.started.clear();
    ui.onNextEvents([&] { host.entries.clear(); });
    run();
    EXPECT_TRUE(host.started.empty());
    EXPECT_TRUE(pagesOn("Sheet1", 1).empty());
    EXPECT_FALSE(host.readPastEnd);
    EXPECT_EQ(ui.messages().back(), kDone);
    EXPECT_EQ(ui.pointerHistory.back(), Pointer::Default);

    // Grown: the bound stays, the share divides by the count of the moment.
    host.entries = {"www.a.org", "www.b.org"};
    host.started.clear();
    ui.onNextEvents([&] { host.entries.push_back("www.c.org"); });
    run();
    ASSERT_EQ(host.shares().size(), 2u);
    EXPECT_DOUBLE_EQ(host.shares()[0], 100.0 / 3);
    EXPECT_DOUBLE_EQ(host.shares()[1], 200.0 / 3);
    EXPECT_EQ(pagesOn("Sheet1", 2).size(), 2u);
    EXPECT_EQ(host.finished.back().count, 2);
}

TEST_F(ImportRun, SwitchingTheSheetModeTakesEffectFromThatPointOn) {
    // Switched on while entry 2 yields: no trimming, a sheet after entries 2 and 3,
    // the empty last one deleted.
    host.entries = {"www.a.org", "www.b.org", "www.c.org"};
    ui.onNextEvents([] {});
    ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.option2 = true; });
    run();
    EXPECT_EQ(workbook(0).names(), (Strings{"Sheet1", "Sheet2", "Sheet3", "Sheet4"}));
    EXPECT_EQ(pagesOn("Sheet1", 0), (Strings{"http://www.b.org", "http://www.a.org"}));
    EXPECT_EQ(pagesOn("Sheet4", 0), Strings{"http://www.c.org"});

    // Switched off while entry 3 yields: no sheet after it, none deleted at the end.
    for (int i = 0; i < 4; ++i) ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.option2 = false; });
    run();
    EXPECT_EQ(workbook(1).names(), (Strings{"Sheet1", "Sheet4", "Sheet5"}));
    EXPECT_EQ(pagesOn("Sheet5", 1), Strings{"http://www.c.org"});
}

TEST_F(ImportRun, TheEndDeletesOnlyTheEmptySheetAddedAfterTheLastImport) {
    // Adding the sheet after the last entry fails: its page stays.
    host.option2 = true;
    host.entries = {"www.a.org", "www.b.org"};
    spreadsheet.pageLoads = [&](const std::string& address) {
        if (address == "http://www.b.org") spreadsheet.failures["addSheetAfterLast"] = "Method 'Add' failed";
        return true;
    };
    run();
    EXPECT_EQ(reportedLines(ui, kRunLocation), std::vector<int>{run_statement::kAddSheet});
    EXPECT_EQ(workbook(0).names(), (Strings{"Sheet1", "Sheet4"}));
    EXPECT_EQ(pagesOn("Sheet4", 0), Strings{"http://www.b.org"});

    // One sheet until the list shrinks; the option is switched while the run
    // looks past the new end: the sheet with every page stays.
    spreadsheet.failures.clear();
    spreadsheet.pageLoads = [](const std::string&) { return true; };
    spreadsheet.startingSheets = 2;
    host.option2 = false;
    host.entries = {"www.a.org", "www.b.org", "www.c.org"};
    ui.onNextEvents([] {});
    ui.onNextEvents([&] { host.entries.resize(1); });
    ui.onNextEvents([&] { host.option2 = true; });
    run();
    EXPECT_EQ(workbook(1).names(), (Strings{"Sheet1", "Sheet2"}));
    EXPECT_EQ(pagesOn("Sheet1", 1), Strings{"http://www.a.org"});
}

TEST_F(ImportRun, ASecondRunStartedWhileTheFirstYieldsHasItsOwnWorkbook) {
    host.entries = {"www.a.org", "www.b.org"};
    ui.onNextEvents([&] { run(); });
    run();
    ASSERT_EQ(spreadsheet.workbooks.size(), 2u);
    for (std::size_t book = 0; book < 2; ++book) {
        EXPECT_EQ(pagesOn("Sheet1", book), (Strings{"http://www.b.org", "http://www.a.org"}));
        EXPECT_TRUE(workbook(book).finished);
    }
    EXPECT_EQ(ui.messages(), (Strings{kDone, kDone}));
    // The inner run ends the busy state; the outer one sets it again before its import.
    EXPECT_EQ(ui.pointerHistory, (std::vector<Pointer>{kBusy, kBusy, kBusy, kBusy, kBusy, kBusy, kIdle, kBusy, kBusy,
                                                       kBusy, kBusy, kIdle}));
    EXPECT_EQ(spreadsheet.alive, 0);
}

TEST_F(ImportRun, PagesAheadAreNamedAsTheImportWillOpenThemAndDroppedAtTheEnd) {
    spreadsheet.readAheadDepth = 1;
    host.entries = {"www.a.org", "http://www.b.org/x", "c.org"};
    bool waitingAnswers = true;
    spreadsheet.pageLoads = [&](const std::string&) {
        waitingAnswers = waitingAnswers && spreadsheet.waitHook;
        return true;
    };
    run();
    EXPECT_EQ(spreadsheet.linesStartingWith("expect"),
              (Strings{"expect 1:http://www.a.org 2:http://www.b.org/x", "expect 2:http://www.b.org/x 3:http://c.org",
                       "expect 3:http://c.org"}));
    EXPECT_EQ(spreadsheet.log.at(spreadsheet.log.size() - 2), "stopReadAhead") << "before the end steps";
    EXPECT_TRUE(waitingAnswers) << "the window answers while each import waits";
    EXPECT_FALSE(spreadsheet.waitHook);
}

}  // namespace
}  // namespace qf
