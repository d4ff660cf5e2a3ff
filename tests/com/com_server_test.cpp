// The COM backend against a spreadsheet server in a process of its own, reached
// by programmatic identifier as the real application is: creation, the running
// instance, the backend choice, and whole import runs whose calls are checked
// one by one.
#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/program_info.h"
#include "base/trap.h"
#include "com/com_provider.h"
#include "com/com_spreadsheet.h"
#include "expected_calls.h"
#include "failure_of.h"
#include "fake_dispatch.h"
#include "app/is_installed.h"
#include "import/web_import.h"
#include "import/import_run.h"
#include "import/list_host.h"
#include "server_process.h"
#include "support/recording_spreadsheet.h"
#include "support/scripted_services.h"

namespace qf::com {
namespace {

using automation::Object;
using testing::failureOf;
using testing::ServerProcess;
using namespace testing::expected_calls;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

class ComServerTest : public ::testing::Test {
protected:
    // The server's log, without the creation of the instance that reads it.
    std::vector<std::string> serverLog(const ServerProcess& server) {
        const Object observer = com.create(server.progId());
        auto log = lines(observer.get("TestLog").toText());
        EXPECT_EQ(log.back(), "(new Application)");
        log.pop_back();
        return log;
    }
    // How many of the server's objects are alive, besides the instance that asks.
    long serverObjectsAlive(const ServerProcess& server) {
        return com.create(server.progId()).get("TestAlive").toInt32() - 1;
    }
    // The model of the first application the server made.
    std::string serverState(const ServerProcess& server) {
        const std::string all = com.create(server.progId()).get("TestState").toText();
        return all.substr(0, all.find("\napp2 ") + 1);
    }

    ComProvider com;
};

TEST_F(ComServerTest, EachCreationIsANewInstanceInTheServersProcess) {
    ServerProcess server;
    ASSERT_TRUE(server.started());
    const Object first = com.create(server.progId());
    const Object second = com.create(server.progId());
    first.put("Visible", true);
    EXPECT_EQ(first.get("visible"), automation::Variant(true));
    EXPECT_EQ(second.get("Visible"), automation::Variant(false));
    EXPECT_EQ(first.value().toText(), "Microsoft Excel");
    // A failure inside the server comes back with the server's description.
    EXPECT_EQ(failureOf([&] { first.obj("Workbooks").get("", {std::int32_t{1}}); }),
              failure_text::kSubscriptOutOfRange);
    EXPECT_EQ(failureOf([&] { first.call("Quit"); }), failure_text::kNotSupported);
    EXPECT_EQ(serverObjectsAlive(server), 2);
}

TEST_F(ComServerTest, TheRunningInstanceIsFoundAndMustNameItselfExactly) {
    {
        ServerProcess none;
        ASSERT_TRUE(none.started());
        EXPECT_EQ(failureOf([&] { com.getRunning(none.progId()); }), failure_text::kCannotCreateObject);
        EXPECT_FALSE(ComSpreadsheet(none.progId()).instanceRunning());
    }
    {
        ServerProcess running({L"--running", L"Microsoft Excel"});
        ASSERT_TRUE(running.started());
        EXPECT_TRUE(ComSpreadsheet(running.progId()).instanceRunning());
        EXPECT_EQ(serverLog(running), (std::vector<std::string>{"Application._Default get"}));
    }
    {
        ServerProcess other({L"--running", L"Microsoft Excel 2016"});
        ASSERT_TRUE(other.started());
        EXPECT_FALSE(ComSpreadsheet(other.progId()).instanceRunning());
    }
}

TEST_F(ComServerTest, WithoutTheSpreadsheetRegisteredTheEngineIsChosenAndCreationFails) {
    // This machine (a fresh Wine prefix) has no spreadsheet application.
    EXPECT_EQ(failureOf([&] { com.create("Excel.Application"); }), failure_text::kCannotCreateObject);
    EXPECT_EQ(failureOf([&] { com.getRunning("Excel.Application"); }), failure_text::kCannotCreateObject);
    EXPECT_FALSE(ComSpreadsheet().instanceRunning());
    EXPECT_FALSE(ComSpreadsheet().canStart());
    EXPECT_EQ(chooseBackend(), Backend::Fallback);

    using Engine = qf::testing::RecordingSpreadsheet;
    auto fallback = makeSpreadsheet([] { return std::make_unique<Engine>(); });
    EXPECT_NE(dynamic_cast<Engine*>(fallback.get()), nullptr);
    EXPECT_FALSE(makeSpreadsheet(nullptr)->canStart()) << "no fallback: nothing can start";

    // Once a server is registered under the identifier, COM is chosen.
    ServerProcess server;
    ASSERT_TRUE(server.started());
    EXPECT_EQ(chooseBackend(server.progId()), Backend::Com);
    auto chosen = makeSpreadsheet([] { return std::make_unique<Engine>(); }, server.progId());
    ASSERT_NE(dynamic_cast<ComSpreadsheet*>(chosen.get()), nullptr);
    EXPECT_TRUE(chosen->canStart());
}

TEST_F(ComServerTest, ThePresenceCheckCreatesTheApplicationAndLetsItGoOrEndsWithItsAdvice) {
    // No spreadsheet application on this machine: the advice, then the end.
    qf::testing::ScriptedServices missing;
    bool ended = false;
    ComSpreadsheet absent;
    IsInstalled(absent, missing, [&] { ended = true; });
    EXPECT_TRUE(ended);
    ASSERT_EQ(missing.boxes.size(), 1u);
    EXPECT_EQ(missing.boxes[0].text, kSpreadsheetMissingMessage);
    EXPECT_EQ(missing.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(missing.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(missing.boxes[0].caption, "");

    // With one: nothing shown, nothing called on it, and it is let go at once.
    ServerProcess server;
    ASSERT_TRUE(server.started());
    ComSpreadsheet spreadsheet(server.progId());
    qf::testing::ScriptedServices present;
    ended = false;
    IsInstalled(spreadsheet, present, [&] { ended = true; });
    EXPECT_FALSE(ended);
    EXPECT_TRUE(present.boxes.empty());
    EXPECT_EQ(serverLog(server), std::vector<std::string>{"(new Application)"});
    EXPECT_EQ(serverObjectsAlive(server), 0);
}

TEST_F(ComServerTest, AnImportRunOntoSeparateSheetsMakesTheCallsOfTheRunInOrder) {
    ServerProcess server;
    ASSERT_TRUE(server.started());
    ComSpreadsheet spreadsheet(server.progId());
    qf::testing::ScriptedServices ui;
    qf::testing::ListHost host;
    host.entries = {"www.a.example", "www.unreadable.example", "http://www.c.example/page"};
    host.option2 = true;

    runImport(host, ui, spreadsheet, qf::testing::kRunLocations);

    const auto expected =
        separateSheetsRun({"http://www.a.example", "http://www.unreadable.example", "http://www.c.example/page"}, 3);
    const auto log = serverLog(server);
    ASSERT_EQ(log.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(log[i], expected[i]) << "call " << i + 1;

    // One sheet per entry in list order, the failed one kept; visible, alerts back
    // on, and no alert was ever put to the user.
    EXPECT_EQ(serverState(server),
              "app1 visible=1 alerts=1 prompts=0 books=1\n"
              "Book1: Sheet1 Sheet4 Sheet5*\n"
              "Sheet1 selected=\n"
              "  URL;http://www.a.example at A1: refreshed\n"
              "Sheet4 selected=\n"
              "  URL;http://www.unreadable.example at A1: failed\n"
              "Sheet5 selected=A1\n"
              "  URL;http://www.c.example/page at A1: refreshed\n");
    EXPECT_EQ(serverObjectsAlive(server), 0) << "the run let go of every object it reached";
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0],
              "Done.\r\n\r\nThe following URLs: \r\nwww.unreadable.example\r\n\r\ncould not be read. \r\n"
              "Please check them. Please email a screenshot of this message to " +
                  supportEmail() + " if you have any questions.");
}

TEST_F(ComServerTest, TheServersOwnDescriptionReachesTheErrorReport) {
    ServerProcess server;
    ASSERT_TRUE(server.started());
    ComSpreadsheet spreadsheet(server.progId());
    const auto workbook = spreadsheet.newWorkbook();
    qf::testing::ScriptedServices ui;
    Trap run(ui, "run ");
    workbook->startWorkbook(run);
    ASSERT_TRUE(ui.boxes.empty());

    EXPECT_FALSE(importWeb(*workbook, "www.refused.example", ui, qf::testing::kRunLocations.webImport));

    // The query could not be added: that step reports the server's words, and each
    // of the nineteen settings then fails on the missing query table.
    ASSERT_EQ(ui.boxes.size(), 20u);
    EXPECT_EQ(ui.boxes[0].text,
              errorReportText("The web query could not be added.", qf::testing::kRunLocations.webImport,
                              web_import_statement::kAddPageAtA1));
    EXPECT_EQ(ui.boxes[0].caption, kErrorReportCaption);
    EXPECT_EQ(ui.boxes[19].text, errorReportText(failure_text::kObjectNotSet, qf::testing::kRunLocations.webImport,
                                                 web_import_statement::kLastSetting));
}

TEST_F(ComServerTest, AnImportRunOntoOneSheetKeepsTheWorkbooksSheets) {
    ServerProcess server;
    ASSERT_TRUE(server.started());
    ComSpreadsheet spreadsheet(server.progId());
    qf::testing::ScriptedServices ui;
    qf::testing::ListHost host;
    host.entries = {"www.a.example", "www.b.example"};

    runImport(host, ui, spreadsheet, qf::testing::kRunLocations);

    EXPECT_EQ(serverLog(server), oneSheetRun({"http://www.a.example", "http://www.b.example"}));
    EXPECT_EQ(serverState(server),
              "app1 visible=1 alerts=1 prompts=0 books=1\n"
              "Book1: Sheet1* Sheet2 Sheet3\n"
              "Sheet1 selected=A1\n"
              "  URL;http://www.b.example at A1: refreshed\n"
              "  URL;http://www.a.example at A1: refreshed\n"
              "Sheet2 selected=\n"
              "Sheet3 selected=\n");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"Done."});
}

TEST_F(ComServerTest, WithTheSpreadsheetAlreadyRunningTheUserDecides) {
    ServerProcess server({L"--running", L"Microsoft Excel", L"--sheets", L"1"});
    ASSERT_TRUE(server.started());
    qf::testing::ListHost host;
    host.entries = {"www.a.example"};
    host.option2 = true;

    ComSpreadsheet spreadsheet(server.progId());
    qf::testing::ScriptedServices no;
    no.answerMessage(MessageAnswer::No);
    runImport(host, no, spreadsheet, qf::testing::kRunLocations);
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(no.boxes[0].icon, MessageIcon::None);
    EXPECT_TRUE(no.pointerHistory.empty());

    qf::testing::ScriptedServices yes;
    yes.answerMessage(MessageAnswer::Yes);
    runImport(host, yes, spreadsheet, qf::testing::kRunLocations);

    // Both runs read the running instance's name; only the second made its own.
    // A workbook that starts with one sheet loses none.
    std::vector<std::string> expected = {"Application._Default get", "Application._Default get"};
    append(expected, separateSheetsRun({"http://www.a.example"}, 1));
    EXPECT_EQ(serverLog(server), expected);
    EXPECT_EQ(yes.messages().back(), "Done.");
}

// When the application cannot be created, each later step of the run reports
// its own failure at its number, every entry is unreadable, and the run ends
// as always.
TEST_F(ComServerTest, WithoutTheApplicationEveryStepReportsAndEveryEntryIsUnreadable) {
    ComSpreadsheet spreadsheet("Quillfen.NotRegistered");
    qf::testing::ScriptedServices ui;
    qf::testing::ListHost host;
    host.option2 = true;
    host.entries = {"www.a.example", "www.b.example"};
    runImport(host, ui, spreadsheet, qf::testing::kRunLocations);

    using namespace run_statement;
    const std::string runAt = qf::testing::kRunLocations.run + "at line ";
    std::vector<int> runLines;
    int importReports = 0;
    for (const std::string& text : ui.messages()) {
        const std::size_t at = text.find(runAt);
        if (at != std::string::npos) runLines.push_back(std::stoi(text.substr(at + runAt.size())));
        if (text.find(qf::testing::kRunLocations.webImport + "at line ") != std::string::npos) ++importReports;
    }
    EXPECT_EQ(runLines,
              (std::vector<int>{kStartSpreadsheet, kAddWorkbook, kAlertsOff, kTakeNewWorkbook, kMoreThanOneSheet,
                                kCountSheets, kAddSheet, kAddSheet, kSelectFirstCell, kShowWorkbook, kAlertsOn}));
    EXPECT_EQ(importReports, 2 * 20);
    EXPECT_EQ(ui.messages().back(),
              "Done.\r\n\r\nThe following URLs: \r\nwww.a.example\r\nwww.b.example\r\n\r\ncould not be read. \r\n"
              "Please check them. Please email a screenshot of this message to " +
                  supportEmail() + " if you have any questions.");
    EXPECT_EQ(ui.pointerHistory.back(), Pointer::Default);
}

}  // namespace
}  // namespace qf::com
