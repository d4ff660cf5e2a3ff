// The web page source against a loopback server: good pages, and every kind of
// bad site, each of which must end in a failure that says what went wrong,
// quickly and without holding more than the size cap.

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>

#include "base/failure.h"
#include "engine/web/html_parse_budget.h"
#include "engine/web/web_page_source.h"
#include "scripted_source.h"
#include "support/http_server.h"

namespace qf::engine {
namespace {

using qf::testing::ScriptedHttpServer;
using Request = ScriptedHttpServer::Request;
using Connection = ScriptedHttpServer::Connection;
using namespace std::chrono_literals;

FetchLimits smallLimits() {
    FetchLimits l;
    l.connectTimeoutMs = 2000;
    l.totalTimeoutMs = 4000;
    l.lowSpeedBytesPerSecond = 1024;
    l.lowSpeedTimeSeconds = 1;
    l.maxBodyBytes = 1u << 20;
    l.maxRedirects = 10;
    return l;
}

std::string gzipped(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class WebFetchTest : public ::testing::Test {
protected:
    // Loads the address (with a source of its own made with the options when
    // they are not the default) and returns the failure's description ("" when
    // it loaded).
    std::string failureOf(const std::string& address, const WebQueryOptions& options = {}) {
        const auto own = options == WebQueryOptions{} ? nullptr : makeWebPageSource(smallLimits(), {}, options);
        auto started = std::chrono::steady_clock::now();
        std::string description;
        try {
            (own ? *own : *source).load(address);
        } catch (const Failure& f) {
            description = f.what();
        }
        elapsed = std::chrono::steady_clock::now() - started;
        return description;
    }
    // The page's cells as a sheet gets them.
    SheetCells loaded(const std::string& address) { return testing::placed(source->load(address)); }
    static std::string expected(const std::string& address, const std::string& reason) {
        return "Unable to open " + address + ". Cannot download the information you requested. (" + reason + ")";
    }

    std::unique_ptr<PageSource> source = makeWebPageSource(smallLimits());
    std::chrono::steady_clock::duration elapsed{};
};

TEST_F(WebFetchTest, LoadsAPageIntoCellsAndNamesTheProgramInItsRequests) {
    std::string head;
    ScriptedHttpServer server([&](const Request& r, Connection& c) {
        head = r.head;
        // The reply's language decides how "1.500" reads where the page says none.
        if (r.path == "/preise") {
            c.send(ScriptedHttpServer::response(200, "text/html", "<p>1.500</p>", "Content-Language: de\r\n"));
            return;
        }
        c.send(ScriptedHttpServer::response(200, "text/html; charset=utf-8",
                                            "<h1>Prices</h1><table><tr><th>Item</th><th>Price</th></tr>"
                                            "<tr><td>Tea</td><td>$1,250.50</td><td>1.500</td></tr></table>"));
    });
    const SheetCells grid = loaded(server.url("/prices"));
    ASSERT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.cell(0, 0), CellValue::makeText("Prices"));
    EXPECT_EQ(grid.cell(1, 1), CellValue::makeText("Price"));
    EXPECT_EQ(grid.cell(2, 1), CellValue::makeNumber(1250.5, internFormat("$#,##0.00")));
    EXPECT_EQ(grid.cell(2, 2), CellValue::makeNumber(1.5, internFormat("0.000")));
    EXPECT_EQ(loaded(server.url("/preise")).cell(0, 0), CellValue::makeNumber(1500, internFormat("#,##0")));
    EXPECT_NE(head.find("User-Agent: Mozilla/5.0 (compatible; Quillfen/1.0.0)"), std::string::npos) << head;
    EXPECT_NE(head.find("gzip"), std::string::npos) << "compressed replies are accepted";
}

TEST_F(WebFetchTest, PagesFromOneHostShareAConnection) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        c.keepAlive();
        c.send(ScriptedHttpServer::response(200, "text/html", "<p>" + r.path.substr(1) + "</p>", {}, true));
    });
    EXPECT_EQ(loaded(server.url("/one")).cell(0, 0), CellValue::makeText("one"));
    EXPECT_EQ(loaded(server.url("/two")).cell(0, 0), CellValue::makeText("two"));
    EXPECT_EQ(server.requests(), 2);
    EXPECT_EQ(server.connections(), 1);
}

TEST_F(WebFetchTest, CompressedPagesAreDecodedAndTextPagesGiveOneRowPerLine) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        if (r.path == "/gz")
            c.send(
                ScriptedHttpServer::response(200, "text/html", gzipped("<p>packed</p>"), "Content-Encoding: gzip\r\n"));
        else  // Latin-1 as the header says: 0xE9 is "é"
            c.send(ScriptedHttpServer::response(200, "text/plain; charset=ISO-8859-1", "caf\xE9\r\n\r\n 42 \n"));
    });
    EXPECT_EQ(loaded(server.url("/gz")).cell(0, 0), CellValue::makeText("packed"));
    const SheetCells text = loaded(server.url("/txt"));
    ASSERT_EQ(text.rowCount(), 3);
    EXPECT_EQ(text.cell(0, 0), CellValue::makeText("caf\xC3\xA9"));
    EXPECT_TRUE(text.cell(1, 0).empty());
    EXPECT_EQ(text.cell(2, 0), CellValue::makeNumber(42));
}

TEST_F(WebFetchTest, ErrorStatusesFailWithTheStatus) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        int status = r.path == "/missing" ? 404 : 500;
        c.send(ScriptedHttpServer::response(status, "text/html", "<p>error page</p>"));
    });
    EXPECT_EQ(failureOf(server.url("/missing")), expected(server.url("/missing"), "HTTP 404"));
    EXPECT_EQ(failureOf(server.url("/broken")), expected(server.url("/broken"), "HTTP 500"));
}

// A file address that is valid on this system (on Windows a path has a drive).
#ifdef _WIN32
constexpr const char* kLocalFile = "file:///C:/Windows/win.ini";
#else
constexpr const char* kLocalFile = "file:///etc/passwd";
#endif

TEST_F(WebFetchTest, RedirectsAreFollowedOnlyToWebAddressesAndOnlyWhenAllowed) {
    std::string ftpTarget, fileTarget;
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        auto redirect = [&](const std::string& to) {
            c.send(ScriptedHttpServer::response(302, "text/html", "", "Location: " + to + "\r\n"));
        };
        if (r.path == "/moved")
            redirect("/target");
        else if (r.path == "/target")
            c.send(ScriptedHttpServer::response(200, "text/html", "<p>arrived</p>"));
        else if (r.path == "/loop")
            redirect("/loop");
        else if (r.path == "/to-file")
            redirect(kLocalFile);
        else if (r.path == "/to-ftp")
            redirect("ftp://127.0.0.1/pub/file.txt");
    });
    EXPECT_EQ(loaded(server.url("/moved")).cell(0, 0), CellValue::makeText("arrived"));

    WebQueryOptions noRedirects;
    noRedirects.disableRedirections = true;
    EXPECT_EQ(failureOf(server.url("/moved"), noRedirects), expected(server.url("/moved"), "HTTP 302"));

    EXPECT_EQ(failureOf(server.url("/loop")), expected(server.url("/loop"), "too many redirects"));
    const std::string notWeb = "only http and https addresses can be opened";
    EXPECT_EQ(failureOf(server.url("/to-file")), expected(server.url("/to-file"), notWeb));
    EXPECT_EQ(failureOf(server.url("/to-ftp")), expected(server.url("/to-ftp"), notWeb));
    EXPECT_EQ(failureOf("file:///etc/passwd"), expected("file:///etc/passwd", notWeb));
}

TEST_F(WebFetchTest, SilentAndTricklingServersTimeOut) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        if (r.path == "/silent") {
            c.pause(30s);
        } else {  // a few bytes a second, for ever
            c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n");
            while (c.send("<p>x</p>") && c.pause(300ms)) {}
        }
    });
    EXPECT_EQ(failureOf(server.url("/silent")), expected(server.url("/silent"), "too slow, timed out"));
    EXPECT_LT(elapsed, 6s);
    EXPECT_EQ(failureOf(server.url("/trickle")), expected(server.url("/trickle"), "too slow, timed out"));
    EXPECT_LT(elapsed, 6s);
}

TEST_F(WebFetchTest, TheWholePageTimeLimitHolds) {
    FetchLimits limits = smallLimits();
    limits.totalTimeoutMs = 1000;
    limits.lowSpeedBytesPerSecond = 1;
    limits.lowSpeedTimeSeconds = 30;
    source = makeWebPageSource(limits);
    ScriptedHttpServer server([](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n");
        while (c.send("<p>x</p>") && c.pause(100ms)) {}
    });
    EXPECT_EQ(failureOf(server.url("/")), expected(server.url("/"), "timed out"));
    EXPECT_LT(elapsed, 6s);
}

TEST_F(WebFetchTest, BrokenConnectionsAndRepliesFail) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        if (r.path == "/reset") {
            c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<p>start");
            c.pause(100ms);
            c.reset();
        } else if (r.path == "/short") {
            c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<p>start");
        } else if (r.path == "/chunks") {
            c.send(
                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
                "5\r\n<p>ab\r\nzz-not-a-size\r\nxyz\r\n0\r\n\r\n");
        } else if (r.path == "/nothing") {
            // closes without a word
        } else if (r.path == "/garbage") {
            c.send("this is not http at all\r\n\r\n");
        }
    });
#ifdef _WIN32
    // Wine closes a socket with a zero linger time in order instead of resetting
    // it, so there the client sees a connection closed early.
    const char* resetReason = "the connection closed before the page was complete";
#else
    const char* resetReason = "the connection failed during the transfer";
#endif
    EXPECT_EQ(failureOf(server.url("/reset")), expected(server.url("/reset"), resetReason));
    EXPECT_EQ(failureOf(server.url("/short")),
              expected(server.url("/short"), "the connection closed before the page was complete"));
    EXPECT_EQ(failureOf(server.url("/chunks")),
              expected(server.url("/chunks"), "the connection failed during the transfer"));
    EXPECT_EQ(failureOf(server.url("/nothing")), expected(server.url("/nothing"), "the server sent no reply"));
    EXPECT_EQ(failureOf(server.url("/garbage")),
              expected(server.url("/garbage"), "the server's reply is not valid HTTP"));
}

TEST_F(WebFetchTest, NothingListeningMeansNoConnection) {
    int port;
    {
        ScriptedHttpServer gone([](const Request&, Connection&) {});
        port = std::stoi(gone.url("").substr(17));
    }
    std::string address = "http://127.0.0.1:" + std::to_string(port) + "/";
    EXPECT_EQ(failureOf(address), expected(address, "could not connect to the server"));
}

TEST_F(WebFetchTest, PagesPastTheSizeCapStopAtTheCap) {
    const std::string big(3u << 20, 'x');
    const std::string bomb = gzipped(std::string(64u << 20, ' '));  // 64 MiB of spaces, some 64 KiB packed
    ScriptedHttpServer server([&](const Request& r, Connection& c) {
        if (r.path == "/declared") {
            c.send(ScriptedHttpServer::response(200, "text/html", big));
        } else if (r.path == "/undeclared") {
            c.send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n");
            c.send(big);
        } else {
            c.send(ScriptedHttpServer::response(200, "text/html", bomb, "Content-Encoding: gzip\r\n"));
        }
    });
    const std::string tooBig = "the page is larger than 1 MiB";
    EXPECT_EQ(failureOf(server.url("/declared")), expected(server.url("/declared"), tooBig));
    EXPECT_EQ(failureOf(server.url("/undeclared")), expected(server.url("/undeclared"), tooBig));
    EXPECT_EQ(failureOf(server.url("/bomb")), expected(server.url("/bomb"), tooBig));
}

TEST_F(WebFetchTest, OnlyHtmlAndTextContentIsRead) {
    ScriptedHttpServer server([](const Request& r, Connection& c) {
        if (r.path == "/zip")
            c.send(ScriptedHttpServer::response(200, "application/octet-stream", std::string(5000, '\0')));
        else
            c.send(ScriptedHttpServer::response(200, "application/xhtml+xml", "<html><body><p>x</p></body></html>"));
    });
    EXPECT_EQ(failureOf(server.url("/zip")),
              expected(server.url("/zip"), "unsupported content type application/octet-stream"));
    EXPECT_EQ(failureOf(server.url("/xhtml")), "");
}

TEST_F(WebFetchTest, MalformedAddressesAndConnectionsFailBeforeAnyRequest) {
    ScriptedHttpServer server(
        [](const Request&, Connection& c) { c.send(ScriptedHttpServer::response(200, "text/html", "<p>x</p>")); });
    const std::string controls = "the address contains spaces or control characters";
    std::string spaced = server.url("/a page.html");
    EXPECT_EQ(failureOf(spaced), expected(spaced, controls));
    std::string withNewline = server.url("/a\r\nX-Injected: 1");
    EXPECT_EQ(failureOf(withNewline), expected(withNewline, controls));
    EXPECT_EQ(failureOf("http://"), expected("http://", "the address is not valid"));
    EXPECT_EQ(failureOf(""), expected("", "no address"));
    EXPECT_EQ(server.requests(), 0);
}

TEST_F(WebFetchTest, PagesTooDeeplyNestedToParseAreRefused) {
    std::string page;
    for (int i = 0; i < 60000; ++i) page += "<div>";
    ScriptedHttpServer server(
        [&](const Request&, Connection& c) { c.send(ScriptedHttpServer::response(200, "text/html", page)); });
    EXPECT_EQ(failureOf(server.url("/deep")),
              expected(server.url("/deep"), "the page's elements are nested too deeply to be read"));
    // Only elements that nest count, whatever the case of their names.
    auto times = [](const std::string& piece) {
        std::string out;
        for (int i = 0; i < 30000; ++i) out += piece;
        return out;
    };
    for (const auto& [html, within] : std::initializer_list<std::pair<std::string, bool>>{
             {times("<DiV a=1>"), false},
             {times("<abcdefghi>"), false},
             {times("<div/>"), true},
             {times("<P>") + times("<optgroup>") + times("<BaseFont>"), true},
             {"<script>" + times("<div>") + "</SCRIPT>", true},
             {"<title></title>" + times("<div>"), false}})
        EXPECT_EQ(withinParseBudget(html), within) << html.substr(0, 30);
}

}  // namespace
}  // namespace qf::engine
