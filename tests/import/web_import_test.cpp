#include <gtest/gtest.h>

#include "base/program_info.h"
#include "base/trap.h"
#include "import/web_import.h"
#include "list_host.h"
#include "support/recording_spreadsheet.h"
#include "support/scripted_services.h"

namespace qf {
namespace {

using testing::ScriptedServices;
const std::string& kImportLocation = testing::kRunLocations.webImport;

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

// Addresses of other schemes are not opened at all: the entry fails with the
// reason, and nothing is made up of them.
TEST(ImportWeb, OnlyWebAddressesAreOpened) {
    struct Case {
        const char* entry;
        const char* opened;  // null: refused
    };
    const Case table[] = {
        {"ftp://ftp.example.org/pub/", nullptr},
        {"file:///home/me/list.html", nullptr},
        {"FILE:/C:/lists/page.html", nullptr},
        {"  sftp://www.example.org", nullptr},  // its "www" does not make a web address of it
        {"mailto:someone@example.org", nullptr},
        {"javascript:alert(1)", nullptr},
        {"C:/pages/index.html", nullptr},
        {"HTTPS://www.example.org", "HTTPS://www.example.org"},
        {"localhost:8080/www", "http://localhost:8080/www"},  // a host and its port
        {"www.example.org:81/a", "http://www.example.org:81/a"},
        {"mailto:25", "http://mailto:25"},  // a host called mailto, port 25
        {"b\xC3\xBC"
         "cher.example",
         "http://b\xC3\xBC"
         "cher.example"},
        {"", "http://"},
    };
    for (const auto& [entry, opened] : table) {
        SCOPED_TRACE(entry);
        testing::RecordingSpreadsheet spreadsheet;
        spreadsheet.startingSheets = 1;
        ScriptedServices ui;
        const auto workbook = spreadsheet.newWorkbook();
        Trap run(ui, "run ");
        workbook->startWorkbook(run);
        std::string reason;
        EXPECT_EQ(importWeb(*workbook, entry, ui, kImportLocation, &reason), opened != nullptr);
        const auto& pages = spreadsheet.workbooks[0]->sheets[0].pages;
        EXPECT_EQ(pages, opened ? std::vector<std::string>{opened} : std::vector<std::string>{});
        EXPECT_EQ(reason, opened ? "" : "only web addresses (http, https) can be imported");
        EXPECT_TRUE(ui.boxes.empty());
    }
}

TEST(stripPath, KeepsWhatFollowsTheLastBackslash) {
    EXPECT_EQ(stripPath("C:\\Lists\\sites.txt"), "sites.txt");
    EXPECT_EQ(stripPath("www.example.org/a/b"), "www.example.org/a/b");
    EXPECT_EQ(stripPath("folder\\"), "");
    EXPECT_EQ(stripPath(""), "");
}

TEST(ImportWeb, OpensTheCompletedAddressAndReportsOnlyAStepThatFails) {
    testing::RecordingSpreadsheet spreadsheet;
    spreadsheet.startingSheets = 1;
    spreadsheet.pageLoads = [](const std::string& address) { return address != "http://www.gone.org"; };
    ScriptedServices ui;
    const auto workbook = spreadsheet.newWorkbook();
    Trap run(ui, "run ");
    workbook->startWorkbook(run);

    std::string reason;
    EXPECT_TRUE(importWeb(*workbook, " www.example.org ", ui, kImportLocation, &reason));
    EXPECT_FALSE(importWeb(*workbook, "www.gone.org", ui, kImportLocation, &reason));
    EXPECT_EQ(reason, "Unable to open http://www.gone.org.");
    EXPECT_TRUE(ui.boxes.empty()) << "a page that cannot be read is the result, not a report";
    EXPECT_EQ(spreadsheet.workbooks[0]->sheets[0].pages, std::vector<std::string>{"http://www.example.org"});

    spreadsheet.failures["importPage"] = "Automation error";
    EXPECT_FALSE(importWeb(*workbook, "www.example.org", ui, kImportLocation));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text,
              errorReportText("Automation error", kImportLocation, web_import_statement::kAddPageAtA1));
    EXPECT_EQ(ui.boxes[0].caption, "Application Error");
}

TEST(ImportWeb, TheWarningAsksOnlyWhenAnInstanceRunsAndYesGoesOn) {
    const std::string question =
        "Excel may be open. It is recommended that you close Excel first.\r"
        "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary.\r\n\r\n"
        "Would you like to proceed anyway?";
    testing::RecordingSpreadsheet spreadsheet;
    ScriptedServices ui;
    EXPECT_FALSE(warnIfSpreadsheetOpen(spreadsheet, ui));
    EXPECT_TRUE(ui.boxes.empty());

    spreadsheet.running = true;
    ui.answerMessage(MessageAnswer::Yes);
    EXPECT_FALSE(warnIfSpreadsheetOpen(spreadsheet, ui));
    ui.answerMessage(MessageAnswer::No);
    EXPECT_TRUE(warnIfSpreadsheetOpen(spreadsheet, ui));
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
