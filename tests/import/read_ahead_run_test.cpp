// "Start Importing" on the embedded engine with pages loaded ahead: the same
// workbook as one page at a time, whatever happens to the list meanwhile, a slow
// page, a run started inside another, and a stop after the entry in hand.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "base/program_info.h"
#include "engine/engine_spreadsheet.h"
#include "import/import_run.h"
#include "list_host.h"
#include "loopback_server.h"
#include "support/http_server.h"
#include "support/scripted_services.h"
#include "xlsx_reader.h"
#include "support/test_helpers.h"

namespace qf {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ScriptedHttpServer;
using testing::ScriptedServices;
using testing::XlsxContent;
using Strings = std::vector<std::string>;

// Pages "/name" with a heading and a small table of values, counting the
// requests of each path; "/slow..." answers after a second, "/missing..." is 404.
class Site {
public:
    explicit Site(std::string host = "127.0.0.1")
        : server_([this](const ScriptedHttpServer::Request& r, ScriptedHttpServer::Connection& c) { serve(r, c); },
                  std::move(host)) {}
    std::string url(const std::string& path) const { return server_.url(path); }
    int requestsOf(const std::string& path) {
        std::lock_guard lock(mutex_);
        return counts_[path];
    }
    int requests() const { return server_.requests(); }
    std::atomic<bool> slowAnswered{false};

private:
    void serve(const ScriptedHttpServer::Request& r, ScriptedHttpServer::Connection& c) {
        {
            std::lock_guard lock(mutex_);
            ++counts_[r.path];
        }
        if (r.path.rfind("/missing", 0) == 0) {
            c.send(ScriptedHttpServer::response(404, "text/html", "gone"));
            return;
        }
        if (r.path.rfind("/slow", 0) == 0) {
            if (!c.pause(1000ms)) return;
            slowAnswered = true;
        }
        c.send(ScriptedHttpServer::response(
            200, "text/html; charset=utf-8",
            "<h1>" + r.path.substr(1) +
                "</h1><table><tr><th>Item</th><th>Share</th><th>Day</th></tr>"
                "<tr><td>Tea " +
                std::to_string(r.path.size()) +
                "</td><td>12%</td><td>2024-03-01</td></tr>"
                "<tr><td>A rather longer name of a thing</td><td>$1,250.50</td><td>7</td></tr></table>"));
    }
    std::mutex mutex_;
    std::map<std::string, int> counts_;
    ScriptedHttpServer server_;
};

// Everything of a written workbook but its time stamps: the sheets, cells,
// shared strings, styles and column widths as stored.
std::string storedSheets(const std::string& path) {
    const std::string command =
        "python3 -c \"import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
        "print(''.join(n+z.read(n).decode() for n in sorted(z.namelist()) "
        "if n.startswith('xl/') ))\" '" +
        path + "'";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

using qf::testing::eventually;

class ReadAheadRun : public ::testing::Test {
protected:
    void SetUp() override { folder = testing::newTempFolder("ahead"); }
    void TearDown() override { fs::remove_all(folder); }

    std::unique_ptr<engine::EngineSpreadsheet> spreadsheet(std::size_t pagesAhead = 64) {
        engine::EngineSettings s;
        s.documentsFolder = folder;
        s.loadLimits.pagesAhead = pagesAhead;
        return std::make_unique<engine::EngineSpreadsheet>(std::move(s));
    }
    // Runs the import and keeps the path of the workbook it wrote.
    void runOn(testing::ListHost& host, Spreadsheet& s) {
        runImport(host, ui, s, testing::kRunLocations);
        written.push_back(host.finished.back().workbook);
    }
    // The run, with an action when entry `at` is in hand (it has been started).
    void run(testing::ListHost& host, std::size_t pagesAhead = 64, int at = 0, std::function<void()> action = {}) {
        auto s = spreadsheet(pagesAhead);
        bool done = false;
        ui.everyEvents = [&] {
            if (!done && at > 0 && host.started.size() == static_cast<std::size_t>(at)) {
                done = true;
                action();
            }
        };
        runOn(host, *s);
        ui.everyEvents = nullptr;
    }
    Strings headings(const std::string& path) {
        const XlsxContent book = testing::readXlsx(path);
        EXPECT_EQ(book.error, "");
        Strings out;
        for (const auto& sheet : book.sheets) out.push_back(book.at(sheet, "A1"));
        return out;
    }
    // The closing box's last lines: where the nth workbook written was saved.
    std::string saved(std::size_t n) const { return "\r\n\r\nThe workbook was saved as " + written.at(n); }
    std::string unreadable(const Strings& addresses) {
        std::string list;
        for (const auto& a : addresses) list += "\r\n" + a;
        return "Done.\r\n\r\nThe following URLs: " + list +
               "\r\n\r\ncould not be read. \r\nPlease check them. "
               "Please email a screenshot of this message to " +
               supportEmail() + " if you have any questions.";
    }

    std::string folder;
    Strings written;
    ScriptedServices ui;
};

TEST_F(ReadAheadRun, GivesTheWorkbookOfAOneAtATimeRunOnEitherSheetMode) {
    Site a("127.0.0.1"), b("127.0.0.2"), c("127.0.0.3");
    for (bool separate : {false, true}) {
        testing::ListHost host;
        host.option2 = separate;
        for (int i = 0; i < 24; ++i) {
            Site& site = i % 3 == 0 ? a : i % 3 == 1 ? b : c;
            host.entries.push_back(site.url(i % 7 == 3 ? "/missing" + std::to_string(i) : "/p" + std::to_string(i)));
        }
        host.entries.push_back("");
        written.clear();
        run(host, 0);
        testing::ListHost again = host;
        again.started.clear();
        run(again, 64);
        ASSERT_EQ(written.size(), 2u);
        EXPECT_EQ(host.started, again.started);
        const std::string one = storedSheets(written[0]);
        EXPECT_GT(one.size(), 1000u);
        EXPECT_TRUE(storedSheets(written[1]) == one) << (separate ? "one sheet per site" : "one sheet");
        const Strings messages = ui.messages();
        ASSERT_EQ(messages.size(), separate ? 4u : 2u);
        const std::string listed = unreadable({a.url("/missing3"), b.url("/missing10"), c.url("/missing17"), ""});
        EXPECT_EQ(messages[messages.size() - 2], listed + saved(0));
        EXPECT_EQ(messages[messages.size() - 1], listed + saved(1));
    }
}

TEST_F(ReadAheadRun, EntriesChangedWhilePagesAreHeldAheadAreImportedAsTheyNowRead) {
    Site site;
    testing::ListHost host;
    host.option2 = true;
    for (int i = 1; i <= 8; ++i) host.entries.push_back(site.url("/p" + std::to_string(i)));
    run(host, 64, 2, [&] {
        ASSERT_TRUE(eventually([&] { return site.requests() >= 8; })) << "all of them loaded ahead";
        host.entries[3] = site.url("/edited");         // edited
        std::swap(host.entries[4], host.entries[5]);   // reordered
        host.entries.erase(host.entries.begin() + 6);  // filtered out
    });
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(headings(written[0]),
              (Strings{"str:p1", "str:p2", "str:p3", "str:edited", "str:p6", "str:p5", "str:p8"}));
    EXPECT_EQ(site.requestsOf("/p4"), 1) << "loaded ahead, never placed";
    EXPECT_EQ(site.requestsOf("/p8"), 2) << "moved up: loaded afresh";

    testing::ListHost cleared;
    cleared.option2 = true;
    cleared.entries = host.entries;
    written.clear();
    run(cleared, 64, 2, [&] { cleared.entries.clear(); });
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(headings(written[0]), (Strings{"str:p1", "str:p2"})) << "the entry in hand, then no more";
    EXPECT_EQ(ui.messages().back(), "Done." + saved(0));
}

TEST_F(ReadAheadRun, ASlowPageHoldsUpOnlyItsOwnEntryAndFailuresAreListedInListOrder) {
    Site site;
    testing::ListHost host;
    const std::string unreachable = "http://127.0.0.1:" + std::to_string(testing::LoopbackServer::closedPort()) + "/";
    host.entries = {site.url("/fast1"), site.url("/slow"),     site.url("/missing1"), site.url("/fast2"),
                    unreachable,        site.url("/missing2"), site.url("/fast3")};
    host.option2 = true;
    bool behindLoadedFirst = false;
    ui.everyEvents = [&] {
        if (!site.slowAnswered && site.requestsOf("/fast3") == 1) behindLoadedFirst = true;
    };
    auto s = spreadsheet();
    runOn(host, *s);
    EXPECT_TRUE(behindLoadedFirst) << "the pages behind the slow one loaded while it was awaited";
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(headings(written[0]), (Strings{"str:fast1", "str:slow", "", "str:fast2", "", "", "str:fast3"}));
    EXPECT_EQ(ui.messages(),
              Strings{unreadable({site.url("/missing1"), unreachable, site.url("/missing2")}) + saved(0)});
}

TEST_F(ReadAheadRun, ARunStartedWhileAPageIsAwaitedRunsInFullAndTheFirstGoesOnBusy) {
    Site site;
    testing::ListHost outer, inner;
    outer.entries = {site.url("/first"), site.url("/slow"), site.url("/last")};
    outer.option2 = true;
    inner.entries = {site.url("/inner1"), site.url("/inner2")};
    inner.option2 = true;
    std::size_t innerEnded = 0;
    auto s = spreadsheet();
    bool started = false;
    ui.everyEvents = [&] {
        if (started || site.requestsOf("/slow") == 0 || outer.started.size() != 2) return;
        started = true;
        runOn(inner, *s);
        innerEnded = ui.pointerHistory.size();
    };
    runOn(outer, *s);
    ASSERT_TRUE(started);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(headings(written[0]), (Strings{"str:inner1", "str:inner2"})) << "the inner run's own workbook";
    ASSERT_GT(innerEnded, 0u);
    EXPECT_EQ(ui.pointerHistory[innerEnded - 1], Pointer::Default);
    EXPECT_EQ(ui.pointerHistory[innerEnded], Pointer::Hourglass) << "the awaited run is busy again at once";
    EXPECT_EQ(headings(written[1]), (Strings{"str:first", "str:slow", "str:last"}));
    EXPECT_EQ(ui.messages(), (Strings{"Done." + saved(0), "Done." + saved(1)}));
    EXPECT_FALSE(ui.busy());
}

TEST_F(ReadAheadRun, AStopEndsTheRunAfterTheEntryInHandAndKeepsWhatWasImported) {
    Site site;
    for (int at : {1, 3, 5}) {
        testing::ListHost host;
        host.option2 = true;
        host.entries = {site.url("/a"), site.url("/missing-b"), site.url("/c"), site.url("/missing-d"), site.url("/e")};
        written.clear();
        ui.boxes.clear();
        run(host, 64, at, [&] { host.stop = true; });
        ASSERT_EQ(written.size(), 1u) << "the workbook is written and opened";
        const Strings all = {"str:a", "", "str:c", "", "str:e"};
        EXPECT_EQ(headings(written[0]), Strings(all.begin(), all.begin() + at)) << "stopped at " << at;
        const std::string stopped = "\r\n\r\nStopped after entry " + std::to_string(at) + " of 5.";
        Strings failed;
        if (at >= 2) failed.push_back(site.url("/missing-b"));
        if (at >= 4) failed.push_back(site.url("/missing-d"));
        EXPECT_EQ(ui.messages(), Strings{(failed.empty() ? "Done." : unreadable(failed)) + stopped + saved(0)})
            << "entries not tried are not called unreadable";
        EXPECT_FALSE(ui.busy());
    }

    testing::ListHost closing;
    closing.entries = {site.url("/a"), site.url("/c")};
    ui.boxes.clear();
    written.clear();
    run(closing, 64, 1, [&] { closing.stop = closing.closingNow = true; });
    ASSERT_EQ(written.size(), 1u) << "still written";
    EXPECT_EQ(headings(written[0]), (Strings{"str:a"}));
    EXPECT_TRUE(ui.boxes.empty()) << "but no closing box";
}

}  // namespace
}  // namespace qf
