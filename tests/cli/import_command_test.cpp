// quillfen --import run in-process: the window's run with a console host, the
// embedded engine and pages served on loopback; the workbook read back.

#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cli/import_command.h"
#include "engine/engine_spreadsheet.h"
#include "import/import_run.h"
#include "tests/import/list_host.h"
#include "tests/import/loopback_server.h"
#include "tests/import/xlsx_reader.h"
#include "tests/support/scripted_services.h"
#include "support/test_helpers.h"

namespace qf::cli {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr const char* kPricesPage =
    "<html><body><h1>Prices</h1><table><tr><th>Item</th><th>Cost</th></tr>"
    "<tr><td>Tea</td><td>3</td></tr><tr><td>Cake</td><td>2.5</td></tr></table><p>The end</p></body></html>";
constexpr const char* kNotesPage = "<html><body><p>First note</p><p>Second note</p></body></html>";
// A page whose table its script builds in the reader's browser.
constexpr const char* kAppPage =
    "<html lang=\"en\"><body><div id=\"root\"></div><script>document.getElementById('root').innerHTML = "
    "'<table><tr><td>Rendered</td><td>1,500</td></tr></table>';</script></body></html>";

// Text written to a stream, read back.
class Captured {
public:
    Captured() : file_(std::tmpfile()) {}
    ~Captured() { std::fclose(file_); }
    Captured(const Captured&) = delete;
    Captured& operator=(const Captured&) = delete;
    std::FILE* file() const { return file_; }
    void clear() {
        std::fflush(file_);
        EXPECT_EQ(::ftruncate(::fileno(file_), 0), 0);
        std::rewind(file_);
    }
    std::string text() const {
        std::fflush(file_);
        std::string out;
        std::rewind(file_);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) out.append(buffer, got);
        return out;
    }

private:
    std::FILE* file_;
};

class ImportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testing::newTempFolder("cli");
        fs::create_directories(folder + "/Documents");
        server.page("/prices.html", kPricesPage);
        server.page("/notes.html", kNotesPage);
        server.page("/gone.html", "<p>Not here</p>", 404);
        server.page("/app.html", kAppPage);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string listFile(const std::string& name, const std::string& bytes) {
        const std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    int run(const Strings& arguments, bool terminal = false) {
        Environment env;
        env.makeSpreadsheet = [this](const Options& options) -> std::unique_ptr<Spreadsheet> {
            engine::EngineSettings settings;
            settings.documentsFolder = folder + "/Documents";
            settings.output = options.output;
            settings.replaceOutput = options.force;
            settings.pageOptions.locale = options.locale;
            if (const auto mode = engine::scriptsModeNamed(options.scripts)) settings.render.mode = *mode;
            return std::make_unique<engine::EngineSpreadsheet>(std::move(settings));
        };
        env.rememberedSheetMode = [this] { return remembered ? SheetMode::SheetPerSite : SheetMode::OneSheet; };
        env.runLocations = testing::kRunLocations;
        env.browserInstalled = [this] { return browserInstalled; };
        env.browserToInstall = "a browser";
        env.out = out.file();
        env.err = err.file();
        env.errIsTerminal = terminal;
        return runWithoutWindow(arguments, env);
    }

    // The workbook whose path the run printed.
    testing::XlsxContent printedWorkbook() {
        std::string path = out.text();
        EXPECT_FALSE(path.empty());
        if (path.empty()) return {};
        EXPECT_EQ(path.back(), '\n');
        path.pop_back();
        testing::XlsxContent content = testing::readXlsx(path);
        EXPECT_EQ(content.error, "");
        return content;
    }

    // The same entries through the window's run (the run host the window is).
    testing::XlsxContent windowRun(const Strings& entries, bool separate) {
        testing::ListHost host;
        host.entries = entries;
        host.option2 = separate;
        testing::ScriptedServices ui;
        engine::EngineSettings settings;
        settings.documentsFolder = folder + "/Window";
        engine::EngineSpreadsheet spreadsheet(std::move(settings));
        runImport(host, ui, spreadsheet, testing::kRunLocations);
        EXPECT_EQ(host.finished.size(), 1u);
        return host.finished.empty() ? testing::XlsxContent{} : testing::readXlsx(host.finished.front().workbook);
    }

    std::string folder;
    testing::LoopbackServer server;
    Captured out, err;
    bool remembered = false;
    bool browserInstalled = true;
};

// Whether any sheet of the workbook holds the value.
bool holds(const testing::XlsxContent& book, const std::string& value) {
    for (const auto& [sheet, cells] : book.cells)
        for (const auto& [cell, v] : cells)
            if (v == value) return true;
    return false;
}

// A page built by scripts among them, rendered in both runs where there is a browser.
TEST_F(ImportCommand, WorkbookIsTheWindowsOwnCellByCellInBothSheetModes) {
    const Strings entries = {server.url("/prices.html"), server.url("/notes.html"), server.url("/app.html")};
    const std::string list = listFile("list.txt", entries[0] + "\n" + entries[1] + "\n" + entries[2] + "\n");
    for (const bool separate : {false, true}) {
        SCOPED_TRACE(separate ? "a sheet per site" : "one sheet");
        out.clear();
        remembered = separate;  // the remembered mode applies without an option
        ASSERT_EQ(run({"--import", list}), exit_code::kAllRead) << err.text();
        const testing::XlsxContent cli = printedWorkbook();
        const testing::XlsxContent window = windowRun(entries, separate);
        EXPECT_EQ(cli.sheets, window.sheets);
        EXPECT_EQ(cli.cells, window.cells);
        EXPECT_EQ(cli.sheets.size(), separate ? 3u : 1u);
        EXPECT_NE(cli.cells.at(cli.sheets.front()).size(), 0u);
        if (engine::renderingBrowserInstalled()) {
            EXPECT_TRUE(holds(cli, "str:Rendered") && holds(cli, "int:1500")) << "the page built by scripts";
        }
        EXPECT_EQ(out.text().rfind(folder + "/Documents/Book", 0), 0u) << out.text();
    }
}

TEST_F(ImportCommand, UnreadableEntriesAreListedWithTheEnginesReasonAndTheWorkbookIsStillWritten) {
    const std::string gone = server.url("/gone.html");
    const std::string list = listFile(
        "list.txt", server.url("/notes.html") + "\r\n" + gone + "\r\n" + server.url("/gone.html?\x1b[2J") + "\r\n");
    EXPECT_EQ(run({"--import", list, "--one-sheet"}), exit_code::kSomeUnreadable);
    const std::string errors = err.text();
    EXPECT_NE(errors.find("quillfen: entry 2 could not be read: " + gone + ": "), std::string::npos) << errors;
    EXPECT_NE(errors.find("404"), std::string::npos) << errors;  // the engine's refusal names the status
    EXPECT_EQ(errors.find("entry 1 could not"), std::string::npos) << errors;
    // A control character from the list never reaches the terminal.
    EXPECT_NE(errors.find("entry 3 could not be read: " + gone + "??[2J: "), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\x1b'), std::string::npos) << errors;
    EXPECT_EQ(printedWorkbook().at("Sheet1", "A1"), "str:First note");
}

// The command line runs in the C locale, where a host name in other
// characters than ASCII must still be converted.
TEST_F(ImportCommand, InternationalHostNamesAreOpenedAndOtherSchemesAreRefused) {
    const std::string idn =
        "http://b\xC3\xBC"
        "cher.localhost:" +
        std::to_string(server.port()) + "/notes.html";
    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/notes.html";
    const std::string list = listFile("list.txt", idn + "\n" + ftp + "\n");
    EXPECT_EQ(run({"--import", list, "--separate-sheets"}), exit_code::kSomeUnreadable);
    const std::string errors = err.text();
    EXPECT_EQ(errors.find("entry 1 could not"), std::string::npos) << errors;
    EXPECT_NE(errors.find("entry 2 could not be read: " + ftp + ": only web addresses (http, https) can be imported\n"),
              std::string::npos)
        << errors;
    const testing::XlsxContent book = printedWorkbook();
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.at(book.sheets[0], "A1"), "str:First note");
    EXPECT_EQ(server.requests(), 1);  // the ftp address was not read ahead either
}

TEST_F(ImportCommand, PagesThatDoNotFitOnOneSheetGoOnAndTheSheetsAreCounted) {
    std::string rows;
    for (int i = 0; i < 600'000; ++i) rows += "r\n";
    server.page("/rows.txt", rows, 200, "text/plain");
    const std::string list = listFile("list.txt", server.url("/rows.txt") + "\n" + server.url("/rows.txt") + "\n");
    EXPECT_EQ(run({"--import", list, "--one-sheet"}), exit_code::kAllRead) << err.text();
    EXPECT_NE(err.text().find("\nquillfen: the pages needed 2 sheets: a sheet holds 1,048,576 rows\n"),
              std::string::npos)
        << err.text();
    EXPECT_EQ(out.text().rfind(folder + "/Documents/Book1.xlsx\n", 0), 0u);  // its sheets are read in the import tests
}

// A column the forced locale does not fit is named once for its page.
TEST_F(ImportCommand, AColumnThatDoesNotFitTheForcedLocaleIsNamed) {
    server.page("/english.html",
                "<html lang='en'><body><table><tr><td>1.500</td><td>03/04/2025</td></tr>"
                "<tr><td>1,234.56</td><td>12/31/2025</td></tr></table></body></html>");
    const std::string list =
        listFile("list.txt", server.url("/english.html") + "\n" + server.url("/prices.html") + "\n");
    EXPECT_EQ(run({"--import", list, "--locale", "de-DE", "--separate-sheets"}), exit_code::kAllRead) << err.text();
    const std::string errors = err.text();
    const std::string note = "quillfen: entry 1: " + server.url("/english.html") +
                             ": columns A, B do not fit the locale de-DE: the texts de-DE reads otherwise than the "
                             "page stay text\n";
    EXPECT_NE(errors.find(note), std::string::npos) << errors;
    EXPECT_EQ(errors.find("entry 2:"), std::string::npos) << "a page that fits is not named";
    const testing::XlsxContent book = printedWorkbook();
    const std::string sheet = book.sheets.at(0);
    EXPECT_EQ(book.at(sheet, "A1"), "str:1.500");
    EXPECT_EQ(book.at(sheet, "B1"), "str:03/04/2025");
    EXPECT_EQ(book.at(sheet, "A2"), "float:1234.56");
    EXPECT_EQ(book.at(sheet, "B2"), "datetime:2025-12-31 00:00:00");
}

TEST_F(ImportCommand, EveryLineEndStyleGivesExactlyTheListsEntries) {
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE("line end of " + std::to_string(end.size()) + " bytes");
        out.clear();
        err.clear();
        const std::string list =
            listFile("ends.txt", server.url("/prices.html") + end + server.url("/notes.html") + end);
        EXPECT_EQ(run({"--import", list, "--separate-sheets"}), exit_code::kAllRead) << err.text();
        EXPECT_EQ(printedWorkbook().sheets.size(), 2u);  // no sheet for an empty entry after the last line
    }
}

TEST_F(ImportCommand, ExistingOutputIsRefusedUnlessForced) {
    const std::string list = listFile("list.txt", server.url("/notes.html") + "\n");
    const std::string output = folder + "/report.xlsx";
    std::ofstream(output) << "keep me";
    EXPECT_EQ(run({"--import", list, "--output", output}), exit_code::kBadArguments);
    EXPECT_EQ(err.text(), "quillfen: " + output + " already exists; give --force to replace it\n");
    EXPECT_EQ(out.text(), "");
    std::ifstream kept(output);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
    EXPECT_EQ(server.requests(), 0);  // refused before any page was fetched

    EXPECT_EQ(run({"--import", list, "--output", output, "--force"}), exit_code::kAllRead) << err.text();
    EXPECT_EQ(out.text(), output + "\n");
    EXPECT_EQ(testing::readXlsx(output).at("Sheet1", "A1"), "str:First note");
    EXPECT_TRUE(fs::is_empty(folder + "/Documents"));
}

// A folder that goes away during the run: the failure is told in the command
// line's words, without the window's error report and closing box.
TEST_F(ImportCommand, WorkbookThatCannotBeWrittenExitsThree) {
    const std::string outputFolder = folder + "/out";
    fs::create_directories(outputFolder);
    testing::ScriptedHttpServer pages(
        [&](const testing::ScriptedHttpServer::Request&, testing::ScriptedHttpServer::Connection& connection) {
            fs::remove_all(outputFolder);
            connection.send(testing::ScriptedHttpServer::response(200, "text/html", "<p>Gone soon</p>"));
        });
    const std::string list = listFile("list.txt", pages.url("/page.html") + "\n");
    const std::string output = outputFolder + "/out.xlsx";
    EXPECT_EQ(run({"--import", list, "--output", output}), exit_code::kNotWritten);
    const std::string errors = err.text();
    EXPECT_NE(errors.find("\nquillfen: writing the workbook failed: Cannot write the workbook file " + output),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("quillfen: the workbook was not written\n"), std::string::npos) << errors;
    for (const std::string& windowText :
         {std::string("at line"), testing::kRunLocations.run, std::string("screenshot"), std::string("Done.")})
        EXPECT_EQ(errors.find(windowText), std::string::npos) << errors;
    EXPECT_EQ(out.text(), "");
}

TEST_F(ImportCommand, BadArgumentsAndUnreadableListsExitTwoBeforeAnyFetch) {
    const std::string good = listFile("good.txt", server.url("/notes.html") + "\n");
    const std::string empty = listFile("empty.txt", "");
    fs::create_directories(folder + "/Documents.xlsx");
    const std::string binary = listFile("picture.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    const std::vector<std::pair<Strings, std::string>> table = {
        {{"--import", good, "--output", "x.csv"}, "the output file must end in .xlsx: x.csv"},
        {{"--import", good, folder + "/missing.txt"},
         "cannot read the list file " + folder + "/missing.txt: File not found"},
        {{"--import", folder}, "cannot read the list file " + folder + ": Path/File access error"},
        {{"--import", empty}, "the list files hold no entries"},
        {{"--import", good, "--scripts", "always"},
         "--scripts always needs a browser to render pages, and none is installed: install a browser"},
        {{"--import", good, binary}, "cannot read the list file " + binary + ": not a text file"},
        {{"--import", good, "--output", folder + "/no such folder/out.xlsx"},
         "cannot write the workbook to " + folder + "/no such folder/out.xlsx: the folder " + folder +
             "/no such folder does not exist"},
        {{"--import", good, "--output", good + "/out.xlsx"},
         "cannot write the workbook to " + good + "/out.xlsx: " + good + " is not a folder"},
        {{"--import", good, "--output", folder + "/Documents.xlsx", "--force"},
         "cannot write the workbook to " + folder + "/Documents.xlsx: it is a folder"},
    };
    browserInstalled = false;
    for (const auto& [args, message] : table) {
        err.clear();
        EXPECT_EQ(run(args), exit_code::kBadArguments);
        EXPECT_EQ(err.text().rfind("quillfen: " + message + "\n", 0), 0u) << err.text();
    }
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(server.requests(), 0);
    EXPECT_TRUE(fs::is_empty(folder + "/Documents"));
}

TEST_F(ImportCommand, AFolderThatMayNotBeWrittenIsRefusedBeforeAnyFetch) {
    if (::geteuid() == 0) GTEST_SKIP() << "running as root, which may write into any folder";
    const std::string list = listFile("list.txt", server.url("/notes.html") + "\n");
    const std::string locked = folder + "/locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(run({"--import", list, "--output", locked + "/out.xlsx"}), exit_code::kBadArguments);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(err.text(), "quillfen: cannot write the workbook to " + locked + "/out.xlsx: the folder " + locked +
                              " may not be written (Permission denied)\n");
    EXPECT_EQ(server.requests(), 0);
}

TEST_F(ImportCommand, ProgressIsALinePerEntryOffATerminalAndOneLineOnIt) {
    const std::string list = listFile("list.txt", server.url("/prices.html") + "\n" + server.url("/notes.html") + "\n" +
                                                      server.url("/prices.html") + "\n");
    ASSERT_EQ(run({"--import", list}), exit_code::kAllRead);
    const std::string lines = "\n" + err.text();
    for (const char* expected : {"[1/3]  33% 0:00 ", "[2/3]  66% 0:00 ", "[3/3] 100% 0:00 "})
        EXPECT_NE(lines.find(std::string("\n") + expected), std::string::npos) << lines;
    EXPECT_EQ(lines.find('\r'), std::string::npos);
    EXPECT_NE(lines.find("[2/3]  66% 0:00 " + server.url("/notes.html") + "\n"), std::string::npos) << lines;

    err.clear();
    ASSERT_EQ(run({"--import", list}, true), exit_code::kAllRead);
    const std::string shown = err.text();
    EXPECT_NE(shown.find("\r\x1b[K[3/3] 100% 0:00 "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\n[2/3]"), std::string::npos) << shown;  // rewritten in place, not a new line
}

TEST_F(ImportCommand, InterruptStopsAfterTheEntryInHandAndWritesWhatWasImported) {
    // The second page interrupts the program, as Ctrl+C would, while its entry is
    // in hand: pages are requested ahead, so it first lets the first entry finish.
    testing::ScriptedHttpServer pages(
        [](const testing::ScriptedHttpServer::Request& request, testing::ScriptedHttpServer::Connection& connection) {
            if (request.path == "/two.html") {
                if (!connection.pause(std::chrono::milliseconds(500))) return;
                ::kill(::getpid(), SIGINT);
            }
            connection.send(testing::ScriptedHttpServer::response(200, "text/html", "<p>" + request.path + "</p>"));
        });
    const std::string list = listFile(
        "list.txt", pages.url("/one.html") + "\n" + pages.url("/two.html") + "\n" + pages.url("/three.html") + "\n");
    EXPECT_EQ(run({"--import", list, "--separate-sheets"}), exit_code::kStopped);
    const testing::XlsxContent book = printedWorkbook();
    ASSERT_EQ(book.sheets.size(), 2u);
    EXPECT_EQ(book.at(book.sheets[0], "A1"), "str:/one.html");
    EXPECT_EQ(book.at(book.sheets[1], "A1"), "str:/two.html");
    EXPECT_NE(err.text().find("quillfen: stopped after entry 2 of 3"), std::string::npos) << err.text();
    // The program's own handling of Ctrl+C ends with the run.
    struct sigaction now {};
    ASSERT_EQ(sigaction(SIGINT, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace qf::cli
