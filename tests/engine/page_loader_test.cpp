// The page loader: several pages at once within the per-host and overall
// limits, read-ahead that never places a page loaded for something else, the
// polite retry after 429/503, bounds on what is held, and cancelling.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "base/failure.h"
#include "engine/web/page_loader.h"
#include "scripted_source.h"
#include "support/http_server.h"
#include "support/test_helpers.h"

namespace qf::engine {
namespace {

using qf::testing::ScriptedHttpServer;
using Request = ScriptedHttpServer::Request;
using Connection = ScriptedHttpServer::Connection;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A server whose pages answer "<path> #<request number of that path>" after a
// delay, counting how many requests it serves at once.
class CountingServer {
public:
    explicit CountingServer(std::chrono::milliseconds delay, std::string host = "127.0.0.1")
        : delay_(delay), server_([this](const Request& r, Connection& c) { serve(r, c); }, std::move(host)) {}

    std::string url(const std::string& path) const { return server_.url(path); }
    std::string address(const std::string& path) const { return url(path); }
    int mostAtOnce() const { return most_; }
    int requests() const { return server_.requests(); }
    int requestsOf(const std::string& path) {
        std::lock_guard lock(mutex_);
        return counts_[path];
    }
    std::function<void(const Request&, Connection&, int count)> special;  // set before any request

private:
    void serve(const Request& r, Connection& c) {
        int count = 0;
        {
            std::lock_guard lock(mutex_);
            count = ++counts_[r.path];
        }
        const int now = ++current_;
        for (int m = most_; now > m && !most_.compare_exchange_weak(m, now);) {}
        if (special) {
            special(r, c, count);
            --current_;
            return;
        }
        const bool answered = c.pause(delay_);
        // The request is done once its answer starts: the client may open the next
        // one as soon as it has the answer, before this thread gets to run again.
        --current_;
        if (answered)
            c.send(
                ScriptedHttpServer::response(200, "text/html", "<p>" + r.path + " #" + std::to_string(count) + "</p>"));
    }

    std::chrono::milliseconds delay_;
    std::atomic<int> current_{0};
    std::atomic<int> most_{0};
    std::mutex mutex_;
    std::map<std::string, int> counts_;
    ScriptedHttpServer server_;
};

// The text of the page's first cell, as a sheet gets it.
std::string firstCell(PageGrid grid) { return testing::placed(std::move(grid)).cell(0, 0).text; }

std::string failureOf(PageLoader& loader, const std::string& connection) {
    try {
        loader.load(connection);
    } catch (const Failure& f) {
        return f.what();
    }
    return {};
}

FetchLimits quickLimits() {
    FetchLimits l;
    l.connectTimeoutMs = 2000;
    l.totalTimeoutMs = 3000;
    l.lowSpeedTimeSeconds = 2;
    return l;
}

std::vector<UpcomingPage> named(const CountingServer& server, int first, int last, int keyOffset = 0) {
    std::vector<UpcomingPage> list;
    for (int i = first; i <= last; ++i) list.push_back({i + keyOffset, server.address("/p" + std::to_string(i))});
    return list;
}

using qf::testing::eventually;

TEST(PageLoader, LoadsAheadConcurrentlyWithinThePerHostAndOverallLimits) {
    CountingServer a(300ms, "127.0.0.1"), b(300ms, "127.0.0.2"), c(300ms, "127.0.0.3");
    PageLoader loader(quickLimits(), LoadLimits{});
    std::vector<UpcomingPage> list;
    for (int i = 1; i <= 30; ++i) {
        const CountingServer& s = i % 3 == 0 ? a : i % 3 == 1 ? b : c;
        list.push_back({i, s.address("/p" + std::to_string(i))});
    }
    const auto started = Clock::now();
    for (std::size_t i = 0; i < list.size(); ++i) {
        loader.expect(std::vector<UpcomingPage>(list.begin() + static_cast<std::ptrdiff_t>(i), list.end()));
        EXPECT_EQ(firstCell(loader.load(list[i].address)), "/p" + std::to_string(i + 1) + " #1");
    }
    const auto took = Clock::now() - started;
    EXPECT_EQ(a.requests() + b.requests() + c.requests(), 30) << "each page once";
    EXPECT_LE(a.mostAtOnce(), 6);
    EXPECT_LE(b.mostAtOnce(), 6);
    EXPECT_GE(a.mostAtOnce() + b.mostAtOnce() + c.mostAtOnce(), 6) << "pages load side by side";
    EXPECT_LT(took, 30 * 300ms / 2) << "far less than one page after the other";
}

TEST(PageLoader, OneSiteNeverGetsMoreThanItsConnectionsAndAllSitesNoMoreThanTheTotal) {
    CountingServer one(200ms);
    LoadLimits limits;
    limits.connectionsPerHost = 3;
    limits.connectionsInAll = 16;
    PageLoader loader(quickLimits(), limits);
    const auto list = named(one, 1, 12);
    for (std::size_t i = 0; i < list.size(); ++i) {
        loader.expect({list.begin() + static_cast<std::ptrdiff_t>(i), list.end()});
        loader.load(list[i].address);
    }
    EXPECT_EQ(one.mostAtOnce(), 3);

    CountingServer x(200ms, "127.0.0.2"), y(200ms, "127.0.0.3");
    limits.connectionsPerHost = 6;
    limits.connectionsInAll = 4;
    PageLoader small(quickLimits(), limits);
    std::vector<UpcomingPage> both = named(x, 1, 8);
    for (auto& q : named(y, 1, 8, 100)) both.push_back(q);
    small.expect(both);
    std::size_t most = 0;
    ASSERT_TRUE(eventually([&] {
        most = std::max(most, small.transfersUnderWay());
        return x.requests() + y.requests() == 16;
    }));
    EXPECT_EQ(most, 4u);
}

TEST(PageLoader, ASlowPageHoldsUpOnlyItselfAndTheOnesBehindItAreReadyWhenItIs) {
    std::atomic<bool> slowDone{false};  // outlives the server's threads
    CountingServer fast(10ms);
    fast.special = [&](const Request& r, Connection& c, int count) {
        if (r.path == "/slow") {
            if (!c.pause(1500ms)) return;
            slowDone = true;
        } else if (!c.pause(10ms)) {
            return;
        }
        c.send(ScriptedHttpServer::response(200, "text/html", "<p>" + r.path + " #" + std::to_string(count) + "</p>"));
    };
    PageLoader loader(quickLimits(), LoadLimits{});
    std::vector<UpcomingPage> list = {
        {1, fast.address("/a")}, {2, fast.address("/slow")}, {3, fast.address("/b")}, {4, fast.address("/c")}};
    loader.expect(list);
    EXPECT_EQ(firstCell(loader.load(list[0].address)), "/a #1");
    ASSERT_TRUE(eventually([&] { return fast.requestsOf("/b") == 1 && fast.requestsOf("/c") == 1; }));
    EXPECT_FALSE(slowDone) << "the pages behind the slow one were fetched while it was still loading";
    loader.expect({list.begin() + 1, list.end()});
    EXPECT_EQ(firstCell(loader.load(list[1].address)), "/slow #1");
    loader.expect({list.begin() + 2, list.end()});
    const auto before = Clock::now();
    EXPECT_EQ(firstCell(loader.load(list[2].address)), "/b #1");
    EXPECT_LT(Clock::now() - before, 1000ms) << "already loaded";
}

TEST(PageLoader, APageNamedAgainForSomethingElseIsLoadedAfreshAndNothingStaleIsReturned) {
    CountingServer server(5ms);
    PageLoader loader(quickLimits(), LoadLimits{});
    loader.expect(named(server, 1, 4));
    ASSERT_TRUE(eventually([&] { return server.requests() == 4; }));

    // Entry 2 edited, entry 3 and 4 swapped, then entry 2 edited back.
    loader.expect({{1, server.address("/p1")},
                   {2, server.address("/edited")},
                   {3, server.address("/p4")},
                   {4, server.address("/p3")}});
    loader.expect({{1, server.address("/p1")},
                   {2, server.address("/p2")},
                   {3, server.address("/p4")},
                   {4, server.address("/p3")}});
    EXPECT_EQ(firstCell(loader.load(server.address("/p1"))), "/p1 #1") << "unchanged: kept";
    loader.expect({{2, server.address("/p2")}, {3, server.address("/p4")}, {4, server.address("/p3")}});
    EXPECT_EQ(firstCell(loader.load(server.address("/p2"))), "/p2 #2") << "changed and back: loaded again";
    loader.expect({{3, server.address("/p4")}, {4, server.address("/p3")}});
    EXPECT_EQ(firstCell(loader.load(server.address("/p4"))), "/p4 #2") << "moved: loaded again";

    // A refresh that is not the one named next loads afresh.
    loader.expect({{4, server.address("/p3")}});
    EXPECT_EQ(firstCell(loader.load(server.address("/other"))), "/other #1");

    // The list cleared: everything held is dropped.
    loader.expect(named(server, 10, 14));
    loader.expect({});
    EXPECT_EQ(loader.pagesHeld(), 0u);
}

TEST(PageLoader, ReadAheadStaysWithinItsPagesAndBytes) {
    CountingServer server(0ms);
    LoadLimits limits;
    limits.pagesAhead = 3;
    PageLoader loader(quickLimits(), limits);
    loader.expect(named(server, 1, 40));
    ASSERT_TRUE(eventually([&] { return server.requests() == 4; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(server.requests(), 4) << "the next page and three ahead";

    // The page outlives the server, whose threads may still be sending it when
    // the loader has let go of the transfer.
    std::string body;
    for (int line = 0; line < 1000; ++line) body += std::string(99, 'x') + "\n";
    CountingServer big(0ms);
    big.special = [&](const Request&, Connection& c, int) {
        c.send(ScriptedHttpServer::response(200, "text/plain", body));
    };
    limits.pagesAhead = 64;
    limits.bytesAhead = 1;  // any page held fills it
    limits.connectionsPerHost = 1;
    PageLoader bounded(quickLimits(), limits);
    bounded.expect(named(big, 1, 40));
    ASSERT_TRUE(eventually([&] { return big.requests() >= 1; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(big.requests(), 1) << "no more pages are fetched once the bytes held reach the bound";
    auto list = named(big, 1, 40);
    for (std::size_t i = 0; i < 10; ++i) {
        bounded.expect({list.begin() + static_cast<std::ptrdiff_t>(i), list.end()});
        // Handed over ready for a sheet: encoded, widths worked out, the cells freed by the loader.
        const PageGrid grid = bounded.load(list[i].address);
        ASSERT_TRUE(grid.encoded);
        EXPECT_EQ(grid.encoded->rowCount(), 1000);
        EXPECT_TRUE(grid.rows.empty());
        EXPECT_EQ(grid.columnWidths.size(), 1u);
    }
    EXPECT_GE(big.requests(), 10);
}

TEST(PageLoader, TooManyRequestsWithRetryAfterIsRetriedOnceAndTheHostSlowsToOneConnection) {
    CountingServer server(100ms);
    server.special = [&](const Request& r, Connection& c, int count) {
        if (r.path == "/busy" && count == 1) {
            c.send(ScriptedHttpServer::response(429, "text/plain", "later", "Retry-After: 1\r\n"));
        } else if (r.path == "/down") {
            c.send(ScriptedHttpServer::response(503, "text/plain", "down", "Retry-After: 0\r\n"));
        } else if (r.path == "/far") {
            c.send(ScriptedHttpServer::response(429, "text/plain", "much later", "Retry-After: 31\r\n"));
        } else if (r.path == "/plain") {
            c.send(ScriptedHttpServer::response(503, "text/plain", "down"));
        } else if (c.pause(100ms)) {
            c.send(ScriptedHttpServer::response(200, "text/html", "<p>" + r.path + "</p>"));
        }
    };
    PageLoader loader(quickLimits(), LoadLimits{});
    const auto started = Clock::now();
    EXPECT_EQ(firstCell(loader.load(server.address("/busy"))), "/busy");
    EXPECT_GE(Clock::now() - started, 900ms) << "waited as asked";
    EXPECT_EQ(server.requestsOf("/busy"), 2);

    loader.expect(named(server, 1, 12));
    std::size_t most = 0;
    ASSERT_TRUE(eventually(
        [&] {
            most = std::max(most, loader.transfersUnderWay());
            return server.requests() >= 2 + 12;
        },
        5000ms));
    EXPECT_EQ(most, 1u) << "that host gets one connection from then on";

    EXPECT_NE(failureOf(loader, server.address("/down")).find("(HTTP 503)"), std::string::npos);
    EXPECT_EQ(server.requestsOf("/down"), 2) << "retried once only";
    EXPECT_NE(failureOf(loader, server.address("/far")).find("(HTTP 429)"), std::string::npos);
    EXPECT_EQ(server.requestsOf("/far"), 1) << "a wait over 30 s is not retried";
    EXPECT_NE(failureOf(loader, server.address("/plain")).find("(HTTP 503)"), std::string::npos);
    EXPECT_EQ(server.requestsOf("/plain"), 1) << "no Retry-After, no retry";
}

TEST(PageLoader, StoppingCancelsEveryTransferAtOnceAndTheWaitHookRunsWhileARefreshWaits) {
    CountingServer server(10s);
    PageLoader loader(quickLimits(), LoadLimits{});
    loader.expect(named(server, 1, 10));
    ASSERT_TRUE(eventually([&] { return loader.transfersUnderWay() == 6; }));
    const auto stopping = Clock::now();
    loader.stopReadAhead();
    ASSERT_TRUE(eventually([&] { return loader.transfersUnderWay() == 0; }, 2000ms));
    EXPECT_LT(Clock::now() - stopping, 1000ms) << "not after the pages' 10 s";
    EXPECT_EQ(loader.pagesHeld(), 0u);

    CountingServer slow(400ms);
    std::vector<Clock::time_point> calls;
    loader.setWaitHook([&] { calls.push_back(Clock::now()); });
    EXPECT_EQ(firstCell(loader.load(slow.address("/s"))), "/s #1");
    EXPECT_GE(calls.size(), 10u) << "called over and over while the page loads";
}

TEST(PageLoader, HostilePagesAmongGoodOnesFailAsTheyDoOneAtATime) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        if (r.path == "/never") {
            c.pause(10s);
        } else if (r.path == "/reset") {
            c.reset();
        } else if (r.path == "/binary") {
            c.send(ScriptedHttpServer::response(200, "application/octet-stream", "xx"));
        } else if (r.path == "/missing") {
            c.send(ScriptedHttpServer::response(404, "text/html", "no"));
        } else {
            c.send(ScriptedHttpServer::response(200, "text/html", "<p>" + r.path + "</p>"));
        }
    });
    const std::vector<std::string> paths = {"/a", "/never", "/b", "/reset", "/c", "/binary", "/missing", "/d"};
    auto results = [&](std::size_t ahead) {
        LoadLimits limits;
        limits.pagesAhead = ahead;
        // Only the total time limit, so the silent page fails for the same reason
        // whichever limit a loaded machine would otherwise let fire first.
        FetchLimits fetch = quickLimits();
        fetch.lowSpeedTimeSeconds = 60;
        PageLoader loader(fetch, limits);
        std::vector<UpcomingPage> list;
        for (std::size_t i = 0; i < paths.size(); ++i)
            list.push_back({static_cast<std::int64_t>(i), server.url(paths[i])});
        std::vector<std::string> out;
        for (std::size_t i = 0; i < list.size(); ++i) {
            loader.expect({list.begin() + static_cast<std::ptrdiff_t>(i), list.end()});
            try {
                out.push_back(firstCell(loader.load(list[i].address)));
            } catch (const Failure& f) {
                out.push_back(f.what());
            }
        }
        return out;
    };
    const auto ahead = results(64);
    EXPECT_EQ(ahead, results(0));
    EXPECT_EQ(ahead[0], "/a");
    EXPECT_NE(ahead[1].find("timed out)"), std::string::npos) << ahead[1];
    EXPECT_EQ(ahead[2], "/b");
    EXPECT_NE(ahead[5].find("unsupported content type application/octet-stream"), std::string::npos);
    EXPECT_NE(ahead[6].find("(HTTP 404)"), std::string::npos);
    EXPECT_EQ(ahead[7], "/d");
}

// Pages in many languages laid out four at once give the cells, formats and
// widths they get one by one: the readers' shared data (every language's
// words, the locales' records) is made and read by all the threads at once.
TEST(PageLoader, PagesLaidOutConcurrentlyGiveTheCellsTheyGiveOneByOne) {
    const std::string pages[] = {
        "<html lang=de><table><tr><td>1.234,56<td>24.12.2026<td>3. M\xC3\xA4rz 2025</table>",
        "<html lang=fr><p>1\xE2\x80\xAF"
        "234,5 <p>mardi 7 d\xC3\xA9"
        "cembre 2026 <p>15 h 20",
        "<table><tr><td>Juni 2024<td>12.5%<td>$1,250.00<td>2026-12-07</table>",
        "<p>Mandag 7. desember 2026 kl. 15.20</p><pre>size  1,234\nused  98.6%</pre>",
        "<html lang=en-IN><table><tr><td>12,34,567<td>07/12/2026<td>Dec 7, 2026, 3:20 PM</table>",
        "<table><tr><td>marzo<td>1.234<td>7.12.2026<tr><td>abril<td>2.500<td>8.12.2026</table>"};
    ScriptedHttpServer server([&](const Request& r, Connection& c) {
        c.send(ScriptedHttpServer::response(200, "text/html; charset=utf-8", pages[std::stoul(r.path.substr(2)) % 6]));
    });
    auto cellsOf = [&](unsigned threads, std::size_t ahead) {
        LoadLimits limits;
        limits.layoutThreads = threads;
        limits.pagesAhead = ahead;
        PageLoader loader(quickLimits(), limits);
        std::vector<UpcomingPage> list;
        for (int i = 0; i < 30; ++i) list.push_back({i, server.url("/p" + std::to_string(i))});
        loader.expect(list);
        std::string cells;
        for (const UpcomingPage& page : list) {
            PageGrid grid = loader.load(page.address);
            for (const double width : grid.columnWidths) cells += std::to_string(width) + " ";
            testing::placed(std::move(grid)).forEachCell([&](std::int64_t row, std::int32_t column, const CellView& c) {
                cells += "\n" + std::to_string(row) + "," + std::to_string(column) + " " + std::to_string(c.format) +
                         " " + (c.kind == CellValue::Kind::Number ? std::to_string(c.number) : std::string(c.text));
            });
        }
        return cells;
    };
    const std::string oneByOne = cellsOf(1, 0);
    EXPECT_NE(oneByOne.find(" 46380.000000"), std::string::npos) << oneByOne;  // 24.12.2026 read as a date
    for (int round = 0; round < 3; ++round) EXPECT_EQ(cellsOf(4, 64), oneByOne);
}

}  // namespace
}  // namespace qf::engine
