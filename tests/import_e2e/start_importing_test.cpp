// "Start Importing" end to end: the real main window, the embedded engine and
// pages served on loopback; the boxes answered by scripted window services and
// the written workbook read back cell by cell.

#include <QAbstractButton>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "app/form1.h"
#include "app/program_end.h"
#include "app/progress_bar.h"
#include "app/settings_store.h"
#include "base/program_info.h"
#include "engine/engine_spreadsheet.h"
#include "support/scripted_services.h"
#include "tests/import/loopback_server.h"
#include "tests/import/xlsx_reader.h"
#include "urllist/url_list_view.h"

namespace qf {
namespace {

using namespace Qt::StringLiterals;

using testing::LoopbackServer;
using testing::XlsxContent;
using Strings = std::vector<std::string>;

class NoEnd : public ProgramEnd {
public:
    void now() override { ++calls; }
    int calls = 0;
};

class StartImporting : public ::testing::Test {
protected:
    void SetUp() override {
        server.page("/table.html",
                    "<html><body><table><tr><th>City</th><th>Population</th></tr>"
                    "<tr><td>Oslo</td><td>709,037</td></tr></table></body></html>");
        server.page("/notes.html",
                    "<html><head><title>Notes</title><script>var x = 1;</script></head><body>"
                    "<h2>Notes</h2><p>First <b>bold</b> line</p><p>Second line</p></body></html>");
        server.page("/pre.html", "<html><body><pre>id  name\n1   alpha\n2   beta</pre></body></html>");

        engine::EngineSettings engineSettings;
        engineSettings.documentsFolder = documents.path().toStdString();
        spreadsheet = std::make_unique<engine::EngineSpreadsheet>(std::move(engineSettings));
        form = std::make_unique<Form1>(ui, *spreadsheet, settings, end, programFolder.path().toStdString());
        ASSERT_TRUE(form->open());
        ASSERT_EQ(ui.boxes.size(), 0u) << "start-up shows nothing";
        // The progress bar as it stands each time the run lets events through.
        ui.everyEvents = [this] {
            progress.push_back(form->progressBar().progress());
            progressTexts.push_back(form->progressBar().text().toStdString());
        };
    }

    QAbstractButton& button(const char* name) { return *form->findChild<QAbstractButton*>(QLatin1String(name)); }
    // "Add URL", typed into the input box.
    void add(const std::string& address) {
        ui.answerInput(address);
        button("PushButton4").click();
    }
    Strings listed() {
        Strings out;
        for (int p = 1; p <= form->entryCount(); ++p) out.push_back(form->entryText(p));
        return out;
    }
    // The closing box of a run that wrote its workbook to path.
    static std::string done(const std::string& path, const std::string& before = "") {
        return "Done." + before + "\r\n\r\nThe workbook was saved as " + path;
    }
    std::string openedBook(std::size_t n = 0) const {
        return n < ui.openedDocuments.size() ? ui.openedDocuments[n] : std::string("(none opened)");
    }
    XlsxContent writtenWorkbook() {
        EXPECT_EQ(ui.openedDocuments.size(), 1u) << "one workbook written and shown";
        if (ui.openedDocuments.empty()) return {};
        XlsxContent content = testing::readXlsx(ui.openedDocuments.front());
        EXPECT_EQ(content.error, "");
        return content;
    }
    void expectColumn(const XlsxContent& book, const std::string& sheet, const std::string& column,
                      const Strings& values) {
        for (std::size_t row = 0; row < values.size(); ++row) {
            const std::string cell = column + std::to_string(row + 1);
            EXPECT_EQ(book.at(sheet, cell), values[row]) << sheet << "!" << cell;
        }
    }

    LoopbackServer server;
    QTemporaryDir programFolder, settingsFolder, documents;
    testing::ScriptedServices ui;
    SettingsStore settings{settingsFolder.path()};
    NoEnd end;
    std::unique_ptr<engine::EngineSpreadsheet> spreadsheet;
    std::unique_ptr<Form1> form;
    std::vector<double> progress;
    Strings progressTexts;
};

TEST_F(StartImporting, OneSheetPutsEveryPageAtA1WithTheNewestOnTop) {
    form->option1().click();
    add(server.url("/table.html"));
    add(server.url("/notes.html"));
    add(server.url("/pre.html"));
    button("PushButton2").click();

    EXPECT_EQ(ui.messages(), Strings{done(openedBook())});
    const XlsxContent book = writtenWorkbook();
    ASSERT_EQ(book.sheets.size(), 1u);
    const std::string& sheet = book.sheets[0];
    expectColumn(book, sheet, "A",
                 {"str:id", "int:1", "int:2", "str:Notes", "str:First bold line", "str:Second line", "str:City",
                  "str:Oslo", ""});
    expectColumn(book, sheet, "B", {"str:name", "str:alpha", "str:beta", "", "", "", "str:Population", "int:709037"});
    EXPECT_EQ(form->progressBar().text().toStdString(), "Progress Bar");
    EXPECT_EQ(form->progressBar().progress(), 0);
    EXPECT_EQ(ui.pointer(), Pointer::Default);
    EXPECT_EQ(listed().size(), 3u) << "the run changes nothing in the list";
}

TEST_F(StartImporting, SeparateSheetsGiveOneSheetPerEntryAndKeepTheFailedOnesEmpty) {
    form->option2().click();
    add(server.url("/table.html"));
    add(server.url("/missing.html"));
    add(server.url("/notes.html"));
    button("PushButton2").click();

    const XlsxContent book = writtenWorkbook();
    ASSERT_EQ(book.sheets.size(), 3u);
    expectColumn(book, book.sheets[0], "A", {"str:City", "str:Oslo", ""});
    EXPECT_EQ(book.cells.count(book.sheets[1]) ? book.cells.at(book.sheets[1]).size() : 0u, 0u);
    expectColumn(book, book.sheets[2], "A", {"str:Notes", "str:First bold line", "str:Second line", ""});
    EXPECT_NE(ui.messages().back().find("\r\n" + server.url("/missing.html") + "\r\n"), std::string::npos);
}

TEST_F(StartImporting, FailingEntriesAreListedExactlyAndProgressRunsToAHundred) {
    const std::string missing = server.url("/missing.html");
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/";
    // A text file with a blank line gives an empty entry.
    QFile file(programFolder.filePath(u"urls.txt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        QByteArray::fromStdString(server.url("/table.html") + "\r\n" + missing + "\r\n" + unreachable + "\r\n\r\n"));
    file.close();
    ui.answerFileDialog(file.fileName().toStdString());
    button("PushButton13").click();
    ASSERT_EQ(listed(), (Strings{server.url("/table.html"), missing, unreachable, ""}));

    button("PushButton2").click();

    EXPECT_EQ(ui.messages().back(), "Done.\r\n\r\nThe following URLs: \r\n" + missing + "\r\n" + unreachable +
                                        "\r\n\r\n\r\ncould not be read. \r\nPlease check them. Please email a "
                                        "screenshot of this message to " +
                                        supportEmail() + " if you have any questions." +
                                        "\r\n\r\nThe workbook was saved as " + openedBook());
    EXPECT_EQ(ui.messages().size(), 1u) << "no error report";
    // At least two yields per entry (before the bar is set, and after), and more
    // while a page is awaited.
    ASSERT_GE(progress.size(), 8u);
    std::vector<double> values = progress;
    values.erase(std::unique(values.begin(), values.end()), values.end());
    EXPECT_EQ(values, (std::vector<double>{0, 25, 50, 75, 100}));
    Strings texts = progressTexts;
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[1], "Processing: " + server.url("/table.html"));
    EXPECT_EQ(texts[4], "Processing: ");
    const XlsxContent book = writtenWorkbook();
    ASSERT_EQ(book.sheets.size(), 1u);
    expectColumn(book, book.sheets[0], "A", {"str:City", "str:Oslo", ""});
    Strings asked = server.requested();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (Strings{"/missing.html", "/table.html"})) << "each page once, the failing one too";
}

// Sites that answer only a browser: through the window's run, with the
// settings' cookie file and locale.
TEST_F(StartImporting, SitesThatAnswerOnlyABrowserLetTheWindowsRunIn) {
    using testing::ScriptedHttpServer;
    server.handle("/enter", [](const ScriptedHttpServer::Request&, ScriptedHttpServer::Connection& c) {
        c.send(ScriptedHttpServer::response(302, "", "", "Set-Cookie: session=1; Path=/\r\nLocation: /inside\r\n"));
    });
    server.handle("/inside", [](const ScriptedHttpServer::Request& r, ScriptedHttpServer::Connection& c) {
        const bool browser = r.header("User-Agent").rfind("Mozilla/5.0", 0) == 0 &&
                             r.header("Accept").rfind("text/html", 0) == 0 &&
                             r.header("Accept-Language").rfind("de-DE,de;q=0.9", 0) == 0 &&
                             r.header("Cookie").find("login=yes") != std::string::npos &&
                             r.header("Cookie").find("session=1") != std::string::npos;
        c.send(ScriptedHttpServer::response(browser ? 200 : 403, "text/html", "<p>inside</p>"));
    });
    QFile file(documents.filePath(u"cookies.txt"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("127.0.0.1\tFALSE\t/\tFALSE\t0\tlogin\tyes\n");
    file.close();
    engine::EngineSettings engineSettings;
    engineSettings.documentsFolder = documents.path().toStdString();
    engineSettings.pageOptions.locale = "de-DE";
    engineSettings.request.cookieFile = file.fileName().toStdString();
    form.reset();
    spreadsheet = std::make_unique<engine::EngineSpreadsheet>(std::move(engineSettings));
    form = std::make_unique<Form1>(ui, *spreadsheet, settings, end, programFolder.path().toStdString());
    ASSERT_TRUE(form->open());
    add(server.url("/enter"));

    button("PushButton2").click();

    EXPECT_EQ(ui.messages(), Strings{done(openedBook())});
    expectColumn(writtenWorkbook(), "Sheet1", "A", {"str:inside"});
}

TEST_F(StartImporting, WhileItRunsTheListRefusesClearingMovingAndRemovingButTakesNewEntries) {
    add(server.url("/table.html"));
    add(server.url("/notes.html"));
    const Strings before = listed();
    Strings during;
    std::optional<Pointer> pointerDuring;
    ui.onNextEvents([&] {
        pointerDuring = ui.pointer();
        button("PushButton11").click();  // Clear List
        form->listView().selectPosition(2);
        button("PushButton5").click();  // Move Up
        form->listView().selectPosition(1);
        button("PushButton6").click();  // Move Down
        QTest::keyClick(&form->listView(), Qt::Key_Delete);
        const QRect row = form->listView().visualRect(form->listView().model()->index(0, 0));
        QTest::mouseDClick(form->listView().viewport(), Qt::LeftButton, {}, row.center());
        add(server.url("/pre.html"));
        during = listed();
    });
    button("PushButton2").click();

    EXPECT_EQ(pointerDuring, Pointer::Hourglass);
    Strings expected = before;
    expected.push_back(server.url("/pre.html"));
    EXPECT_EQ(during, expected) << "only the new entry changed the list";
    EXPECT_EQ(listed(), expected);
    EXPECT_EQ(ui.messages(), Strings{done(openedBook())});
    const XlsxContent book = writtenWorkbook();
    expectColumn(book, book.sheets.at(0), "A",
                 {"str:Notes", "str:First bold line", "str:Second line", "str:City", "str:Oslo", ""});
}

TEST_F(StartImporting, ASecondRunStartedDuringTheFirstShowsItsOwnWorkbook) {
    add(server.url("/table.html"));
    ui.onNextEvents([&] { button("PushButton2").click(); });
    button("PushButton2").click();

    EXPECT_EQ(ui.messages(), (Strings{done(openedBook(0)), done(openedBook(1))}));
    ASSERT_EQ(ui.openedDocuments.size(), 2u);
    EXPECT_NE(ui.openedDocuments[0], ui.openedDocuments[1]);
    for (const auto& path : ui.openedDocuments)
        EXPECT_EQ(testing::readXlsx(path).at("Sheet1", "A2"), "str:Oslo") << path;
}

TEST_F(StartImporting, EscapeStopsTheRunAfterTheEntryInHandAndShowsWhatItDid) {
    add(server.url("/table.html"));
    add(server.url("/notes.html"));
    add(server.url("/pre.html"));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_Escape);  // no run: nothing to stop
    bool pressed = false;
    ui.everyEvents = [&] {
        if (pressed || form->progressBar().progress() < 60) return;  // the second entry is in hand
        pressed = true;
        QTest::keyClick(&form->listView(), Qt::Key_Escape);
    };
    button("PushButton2").click();
    ASSERT_TRUE(pressed);
    EXPECT_EQ(ui.messages().back(), done(openedBook(), "\r\n\r\nStopped after entry 2 of 3."));
    const XlsxContent book = writtenWorkbook();
    ASSERT_EQ(book.sheets.size(), 1u);
    expectColumn(book, book.sheets[0], "A",
                 {"str:Notes", "str:First bold line", "str:Second line", "str:City", "str:Oslo", ""});

    ui.everyEvents = nullptr;
    ui.openedDocuments.clear();
    button("PushButton2").click();
    EXPECT_EQ(ui.messages().back(), done(openedBook())) << "the next run runs in full";
}

TEST_F(StartImporting, ClosingTheWindowDuringARunWritesWhatWasImportedThenEndsTheProgramWithoutAMessage) {
    add(server.url("/table.html"));
    add(server.url("/notes.html"));
    add(server.url("/pre.html"));
    int endsAtClose = -1;
    std::size_t boxesShownByClose = 99;
    ui.onNextEvents([] {});  // before the first entry is taken in hand
    ui.onNextEvents([&] {    // while it is in hand
        const std::size_t before = ui.boxes.size();
        form->close();
        endsAtClose = end.calls;
        boxesShownByClose = ui.boxes.size() - before;
    });
    const std::size_t boxesBefore = ui.boxes.size();
    button("PushButton2").click();
    EXPECT_EQ(endsAtClose, 0) << "the run first writes its workbook";
    EXPECT_EQ(boxesShownByClose, 0u);
    EXPECT_EQ(end.calls, 1) << "then the program ends";
    EXPECT_EQ(ui.boxes.size(), boxesBefore) << "without a message";
    EXPECT_TRUE(ui.openedDocuments.empty()) << "and without opening the workbook";
    std::vector<std::filesystem::path> written;
    for (const auto& f : std::filesystem::directory_iterator(documents.path().toStdString()))
        written.push_back(f.path());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].filename(), "Book1.xlsx");
    const XlsxContent book = testing::readXlsx(written[0].string());
    EXPECT_EQ(book.error, "");
    ASSERT_EQ(book.sheets.size(), 1u);
    expectColumn(book, book.sheets[0], "A", {"str:City", "str:Oslo", ""});
}

}  // namespace
}  // namespace qf
