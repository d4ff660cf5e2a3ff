// Pages built by scripts, as a reader's browser builds them: each way sites
// build their tables, rendered by the real browser through the page loader,
// must give the table's cells with their values; each way a page can hold a
// browser up must end within the page's limit with what could be taken.
// Ordinary pages are never rendered.
//
// Needs the browser (chromium-headless-shell); without it these tests are
// skipped, except in CI, where they fail.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>

#include "base/failure.h"
#include "engine/web/page_loader.h"
#include "engine/web/web_page_source.h"
#include "scripted_source.h"
#include "support/http_server.h"

namespace qf::engine {
namespace {

using qf::testing::ScriptedHttpServer;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The table the pages' scripts build.
const char* const kTable = "<table><tr><th>Item</th><th>Price</th></tr><tr><td>Tea</td><td>1,500.25</td></tr></table>";

struct Served {
    std::string body;
    std::string type = "text/html; charset=utf-8";
    std::chrono::milliseconds delay{0};  // before the answer; long: it never comes in time
};

// The cells a sheet gets, a line a row, cells parted by '|', numbers as numbers.
std::string sheetText(PageGrid grid) {
    const SheetCells cells = testing::placed(std::move(grid));
    std::ostringstream out;
    std::int64_t last = -1;
    cells.forEachCell([&](std::int64_t row, std::int32_t, const CellView& cell) {
        if (last >= 0) out << (row == last ? "|" : "\n");
        last = row;
        if (cell.kind == CellValue::Kind::Number)
            out << cell.number;
        else
            out << cell.text;
    });
    return out.str() + "\n";
}

struct PageCase {
    const char* name;
    std::map<std::string, Served> site;  // "/page" is the entry
    const char* expected;                // a line the sheet must hold
    const char* absent = nullptr;        // a text it must not
};

std::string shell(const std::string& head, const std::string& body) {
    return "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\">" + head + "</head><body>" + body +
           "</body></html>";
}

std::string js(const std::string& code) { return "<script>" + code + "</script>"; }

std::string root() { return "<div id=\"root\"></div>"; }

const std::string kPut = "document.getElementById('root').innerHTML = '" + std::string(kTable) + "';";

std::vector<PageCase> buildingCases() {
    const std::string root = "<div id=\"root\">Loading…</div>";
    return {
        {"DomReady",
         {{"/page", {shell("", root + js("document.addEventListener('DOMContentLoaded', () => {" + kPut + "});"))}}},
         "Tea|1500.25",
         "Loading"},
        {"FetchOfJson",
         {{"/page",
           {shell("", root + js("fetch('/data.json').then(r => r.json()).then(rows => {"
                                "document.getElementById('root').innerHTML = '<table>' + rows.map(r => "
                                "'<tr><td>' + r.join('</td><td>') + '</td></tr>').join('') + '</table>'; });"))}},
          {"/data.json", {R"([["Tea","1,500.25"]])", "application/json", 300ms}}},
         "Tea|1500.25"},
        {"SlowXmlHttpRequest",
         {{"/page",
           {shell("", root + js("const x = new XMLHttpRequest(); x.open('GET', '/rows.html');"
                                "x.onload = () => { document.getElementById('root').innerHTML = x.responseText; };"
                                "x.send();"))}},
          {"/rows.html", {kTable, "text/html", 1500ms}}},
         "Tea|1500.25"},
        {"AfterATimer", {{"/page", {shell("", root + js("setTimeout(() => {" + kPut + "}, 200);"))}}}, "Tea|1500.25"},
        {"AppShellWithNoscript",
         {{"/page",
           {shell("", "<noscript>You need to enable JavaScript to run this app.</noscript><div id=\"root\"></div>" +
                          js("setTimeout(() => {" + kPut + "}, 50);"))}}},
         "Tea|1500.25",
         "enable JavaScript"},
        {"ModuleScript",
         {{"/page",
           {shell("",
                  "<div id=\"root\"></div><script type=\"module\">import {rows} from '/rows.js';"
                  "document.getElementById('root').innerHTML = rows;</script>")}},
          {"/rows.js", {"export const rows = '" + std::string(kTable) + "';", "text/javascript"}}},
         "Tea|1500.25"},
        {"DocumentWrite",
         {{"/page", {shell("", js("document.write('" + std::string(kTable) + "');"))}}},
         "Tea|1500.25"},
        {"AfterLoad",
         {{"/page", {shell("", root + js("window.addEventListener('load', () => {" + kPut + "});"))}}},
         "Tea|1500.25"},
        {"AfterAnAlert", {{"/page", {shell("", root + js("alert('Welcome'); " + kPut))}}}, "Tea|1500.25"},
        {"LocationReplace",
         {{"/page", {shell("", js("location.replace('/real');"))}}, {"/real", {shell("", root + js(kPut))}}},
         "Tea|1500.25"},
        {"MetaRefresh",
         {{"/page", {shell("<meta http-equiv=\"refresh\" content=\"0; url=/moved\">", "<p>Moved.</p>")}},
          {"/moved", {shell("", kTable)}}},
         "Tea|1500.25",
         "Moved."},
        {"GermanAfterRendering",
         {{"/page",
           {"<!doctype html><html lang=\"de\"><body><div id=\"app\"></div>" +
            js("document.getElementById('app').innerHTML = '<table><tr><td>Preis</td><td>1.500</td></tr></table>';") +
            "</body></html>"}}},
         "Preis|1500"},
    };
}

// Pages that try to hold the browser up: each ends at the page's limit.
std::vector<PageCase> faultCases() {
    return {
        {"ScriptThatNeverEnds",
         {{"/page",
           {shell("", "<p>Before</p>" +
                          js("document.body.insertAdjacentHTML('beforeend', '<p>Added</p>'); for (;;) {}"))}}},
         "Added"},
        {"ContentAddedForever",
         {{"/page",
           {shell("",
                  root() + js(kPut + " let n = 0; setInterval(() => { document.body.insertAdjacentHTML('beforeend', "
                                     "'<i>' + n++ + '</i>'); }, 20);"))}}},
         "Tea|1500.25"},
        {"RequestThatNeverAnswers",
         {{"/page", {shell("", root() + js(kPut + " fetch('/never');"))}}, {"/never", {"", "text/plain", 60s}}},
         "Tea|1500.25"},
        {"DialogsOfEveryKind",
         {{"/page",
           {shell("", root() + js("confirm('Sure?'); prompt('Name?'); window.open('/page'); " + kPut +
                                  " window.onbeforeunload = () => 'Stay';"))}}},
         "Tea|1500.25"},
    };
}

// CI installs the browser on Linux; under Wine there is none to find.
bool browserRequired() {
#ifdef _WIN32
    return false;
#else
    return std::getenv("CI") && *std::getenv("CI");
#endif
}

class RenderedPages : public ::testing::Test {
protected:
    void SetUp() override {
        if (!renderingBrowserInstalled()) {
            if (browserRequired()) FAIL() << "no browser to render pages: install " << renderingBrowserToInstall();
            GTEST_SKIP() << "no browser to render pages";
        }
    }

    static std::unique_ptr<ScriptedHttpServer> serve(const std::map<std::string, Served>& site) {
        return std::make_unique<ScriptedHttpServer>(
            [site](const ScriptedHttpServer::Request& r, ScriptedHttpServer::Connection& c) {
                const auto page = site.find(r.path.substr(0, r.path.find('?')));
                if (page == site.end()) {
                    c.send(ScriptedHttpServer::response(404, "text/plain", "none"));
                    return;
                }
                if (page->second.delay > 0ms && !c.pause(page->second.delay)) return;
                c.send(ScriptedHttpServer::response(200, page->second.type, page->second.body));
            });
    }

    static std::string load(PageLoader& loader, const std::string& address) { return sheetText(loader.load(address)); }
};

TEST_F(RenderedPages, EveryWayOfBuildingATableGivesItsCellsWithTheirValues) {
    for (const PageCase& c : buildingCases()) {
        SCOPED_TRACE(c.name);
        const auto server = serve(c.site);
        RenderSettings render;
        render.limit = 10s;
        PageLoader loader({}, {}, {}, render);
        const std::string sheet = load(loader, server->url("/page"));
        EXPECT_NE(sheet.find(c.expected), std::string::npos) << sheet;
        if (c.absent) {
            EXPECT_EQ(sheet.find(c.absent), std::string::npos) << sheet;
        }
        EXPECT_TRUE(loader.notes().empty()) << loader.notes().front();
    }
}

TEST_F(RenderedPages, APageThatHoldsTheBrowserUpEndsWithinItsLimitAndTheRunGoesOn) {
    RenderSettings render;
    render.limit = 4s;
    for (const PageCase& c : faultCases()) {
        SCOPED_TRACE(c.name);
        const auto server = serve(c.site);
        PageLoader loader({}, {}, {}, render);
        const auto start = Clock::now();
        const std::string sheet = load(loader, server->url("/page"));
        EXPECT_LT(Clock::now() - start, render.limit + 3s);
        EXPECT_NE(sheet.find(c.expected), std::string::npos) << sheet;
        // The same loader renders the next page as usual.
        const auto next = serve({{"/page", {shell("", root() + js(kPut))}}});
        EXPECT_NE(load(loader, next->url("/page")).find("Tea|1500.25"), std::string::npos);
    }
}

// Without rendering, every page is read as served and an ordinary page never
// asks for the browser: `never` says nothing more, `auto` without a browser
// counts the pages built by scripts and names what to install.
TEST_F(RenderedPages, WithoutRenderingPagesAreReadAsServedAndAMissingBrowserIsTold) {
    const auto server = serve(
        {{"/page", {shell("", root() + js(kPut))}},
         {"/static",
          {shell("<script src=\"/a.js\"></script>", "<h1>Prices</h1><p>" + std::string(500, 'x') + "</p>" + kTable)}}});
    for (const ScriptsMode mode : {ScriptsMode::Never, ScriptsMode::Auto}) {
        SCOPED_TRACE(std::string(scriptsModeName(mode)));
        RenderSettings render;
        render.mode = mode;
        render.browser = "/nonexistent/browser";
        PageLoader loader({}, {}, {}, render);
        EXPECT_NE(load(loader, server->url("/static")).find("Tea|1500.25"), std::string::npos);
        EXPECT_TRUE(loader.notes().empty()) << "an ordinary page asked for the browser";
        EXPECT_EQ(load(loader, server->url("/page")).find("Tea"), std::string::npos);
        EXPECT_EQ(load(loader, server->url("/page?again")).find("Tea"), std::string::npos);
        const auto notes = loader.notes();
        if (mode == ScriptsMode::Never) {
            EXPECT_TRUE(notes.empty());
        } else {
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_NE(notes[0].find("2 pages were built by scripts and were read as served"), std::string::npos);
            EXPECT_NE(notes[0].find(renderingBrowserToInstall()), std::string::npos);
        }
    }
}

TEST_F(RenderedPages, PagesRenderedAheadGiveTheSameCellsAsOneByOne) {
    std::map<std::string, Served> site;
    std::vector<UpcomingPage> upcoming;
    for (int i = 0; i < 8; ++i) {
        const std::string n = std::to_string(i);
        site["/p" + n] = {shell("", root() + js("setTimeout(() => { document.getElementById('root').innerHTML = "
                                                "'<table><tr><td>Page</td><td>" +
                                                n + "</td></tr></table>'; }, " + std::to_string(50 * (8 - i)) + ");"))};
    }
    const auto server = serve(site);
    for (int i = 0; i < 8; ++i) upcoming.push_back({i, server->url("/p" + std::to_string(i))});
    LoadLimits oneByOne;
    oneByOne.pagesAhead = 0;
    RenderSettings oneTab;
    oneTab.tabs = 1;
    PageLoader ahead({}, {}, {}, {});
    PageLoader single({}, oneByOne, {}, oneTab);
    for (int i = 0; i < 8; ++i) {
        ahead.expect(std::vector<UpcomingPage>(upcoming.begin() + i, upcoming.end()));
        const std::string address = upcoming[static_cast<std::size_t>(i)].address;
        const std::string sheet = load(ahead, address);
        EXPECT_EQ(sheet, load(single, address));
        EXPECT_NE(sheet.find("Page|" + std::to_string(i)), std::string::npos) << sheet;
    }
}

// The browser asks as the run's fetches ask: a site that set a cookie on the
// served page and wants it back, with a browser's User-Agent and the user's
// language, lets the rendered page in too.
TEST_F(RenderedPages, TheBrowserAsksWithTheRunsCookiesUserAgentAndLanguage) {
    const std::string table = shell("", root() + js(kPut));
    const std::string refused = shell("", root() + js("document.getElementById('root').textContent = 'Refused';"));
    ScriptedHttpServer server([&](const ScriptedHttpServer::Request& r, ScriptedHttpServer::Connection& c) {
        const bool admitted = r.head.find("Cookie: session=abc") != std::string::npos &&
                              r.head.find("User-Agent: Mozilla/5.0 (compatible; Quillfen/") != std::string::npos &&
                              r.head.find("Accept-Language: de-DE") != std::string::npos;
        c.send(ScriptedHttpServer::response(200, "text/html", admitted ? table : refused,
                                            "Set-Cookie: session=abc; Path=/\r\n"));
    });
    auto request = std::make_shared<RequestSettings>(browserLikeRequest("de-DE"));
    request->cookies = std::make_shared<CookieStore>();
    PageLoader loader({}, {}, {}, {}, request);
    const std::string sheet = load(loader, server.url("/page"));
    EXPECT_NE(sheet.find("Tea|1500.25"), std::string::npos) << sheet;
}

}  // namespace
}  // namespace qf::engine
