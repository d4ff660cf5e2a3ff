// Which served pages look built by scripts, and why; where a refresh element
// sends the reader. One table of pages, each with the reason it must give (or
// none): the rule errs neither way on the shapes sites serve.

#include <gtest/gtest.h>

#include "engine/web/html_layout.h"
#include "engine/web/page_loader.h"

namespace qf::engine {
namespace {

ScriptSignals factsOf(const std::string& html) {
    ScriptSignals facts;
    layoutHtml(html, {}, {}, &facts);
    return facts;
}

TEST(ScriptSignals, PagesBuiltByScriptsAreToldFromOrdinaryOnes) {
    const std::string text(600, 'x');
    struct Case {
        const char* name;
        std::string html;
        const char* reason;  // nullptr: an ordinary page
    };
    const Case cases[] = {
        {"empty mount", "<div id=\"root\"></div><script src=\"app.js\"></script>", "an empty mount element"},
        {"next.js mount", "<div id=\"__next\">  </div><script src=\"/_next/main.js\"></script>",
         "an empty mount element"},
        {"noscript notice", "<body><noscript>Enable JavaScript</noscript><main></main><script src=\"app.js\"></script>",
         "a notice that it needs scripts"},
        {"script redirect", "<script>location.replace('/next')</script>", "sends the reader"},
        {"loading text", "<p>Loading…</p><script type=\"module\" src=\"m.js\"></script>", "little text"},
        {"scripts in the head count", "<html><head><script src=a.js></script></head><body>Wait</body></html>",
         "little text"},
        {"static page without scripts", "<table><tr><td>1</td></tr></table>", nullptr},
        {"plenty of text beside scripts", "<div id=\"root\"></div><p>" + text + "</p><script>x()</script>", nullptr},
        {"data blocks are no scripts", "<script type=\"application/json\">{}</script><p>Hi</p>", nullptr},
        {"a script that writes nothing", "<head><script>var x = 1;</script></head><p>Notes</p>", nullptr},
        {"inline code that builds the page", "<p>Wait</p><script>document.body.append(t)</script>", "little text"},
        {"a filled mount", "<div id=\"app\"><p>Served by the server</p></div>", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reason = scriptBuiltReason(factsOf(c.html));
        if (!c.reason) {
            EXPECT_FALSE(reason.has_value()) << *reason;
        } else {
            ASSERT_TRUE(reason.has_value());
            EXPECT_NE(reason->find(c.reason), std::string_view::npos) << *reason;
        }
    }
}

TEST(ScriptSignals, ARefreshIsFollowedToAnotherWebAddressOnly) {
    const std::string here = "http://127.0.0.1:8000/dir/page.html";
    struct Case {
        const char* content;
        const char* target;  // nullptr: not followed
    };
    const Case cases[] = {
        {"0; url=next.html", "http://127.0.0.1:8000/dir/next.html"},
        {"5;URL='/top'", "http://127.0.0.1:8000/top"},
        {"0, url=\"https://example.test/a?b=1\"", "https://example.test/a?b=1"},
        {"  3 ; url = ../up.html ", "http://127.0.0.1:8000/up.html"},
        {"30", nullptr},                     // the page itself, again
        {"0; url=page.html#part", nullptr},  // the same page
        {"0; url=ftp://files.test/x", nullptr},
        {"0; url=javascript:alert(1)", nullptr},
        {"soon; url=next.html", nullptr},  // no delay: browsers follow none
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        const auto refresh = parseRefresh(c.content);
        const auto target = refresh ? refreshTarget(here, *refresh) : std::nullopt;
        EXPECT_EQ(target.value_or("none"), c.target ? c.target : "none");
    }
    const auto facts = factsOf("<html><head><meta http-equiv=\"Refresh\" content=\"0; url=b.html\"></head></html>");
    ASSERT_TRUE(facts.refresh.has_value());
    EXPECT_EQ(facts.refresh->target, "b.html");
}

}  // namespace
}  // namespace qf::engine
