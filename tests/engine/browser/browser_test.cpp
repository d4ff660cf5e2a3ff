// The browser driver against a stand-in browser that answers as a browser
// does, or breaks off in each of the ways a browser can: every fault ends
// within its bound with a BrowserFailure, and a browser that ended is started
// again for the next page while one that never started is not tried again.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine/web/browser/browser.h"
#include "engine/web/browser/renderer.h"

namespace qf::browser {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

// Runs the stand-in in the mode for the test's life, counting its starts.
class StandIn {
public:
    explicit StandIn(const char* mode)
        : log_(std::filesystem::temp_directory_path() /
               ("stand-in-browser-" + std::to_string(Clock::now().time_since_epoch().count()) + ".log")) {
        setVariable("STAND_IN_BROWSER", mode);
        setVariable("STAND_IN_BROWSER_LOG", log_.string());
    }
    ~StandIn() { std::filesystem::remove(log_); }
    int starts() const {
        std::ifstream in(log_);
        int count = 0;
        for (std::string line; std::getline(in, line);) ++count;
        return count;
    }

private:
    std::filesystem::path log_;
};

RenderRequest request(std::chrono::milliseconds limit = 2s) {
    RenderRequest r;
    r.address = "http://127.0.0.1:9/page";
    r.limit = limit;
    return r;
}

TEST(Browser, RendersThroughTheProtocolAndTakesTheDocument) {
    StandIn standIn("answers");
    Renderer renderer(QUILLFEN_STAND_IN_BROWSER);
    const RenderedPage page = renderer.render(request());
    EXPECT_EQ(page.html, "<table><tr><td>Stand-in</td><td>42</td></tr></table>");
    EXPECT_TRUE(page.settled);
    renderer.render(request());
    EXPECT_EQ(standIn.starts(), 1) << "one browser serves the whole run";
}

TEST(Browser, EveryWayABrowserBreaksOffEndsInAFailureWithinItsBound) {
    struct Case {
        const char* mode;
        const char* says;
        bool startsAgain;  // the next page gets a new browser
    };
    const Case cases[] = {
        {"exit", "could not be started", false},      {"silent", "did not answer", false},
        {"broken", "not the protocol", false},        {"truncated", "in the middle of a message", false},
        {"crash-on-page", "the browser ended", true}, {"hang-on-page", "did not answer", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        StandIn standIn(c.mode);
        Renderer renderer(QUILLFEN_STAND_IN_BROWSER, {}, 1s);
        for (int page = 0; page < 2; ++page) {
            const auto start = Clock::now();
            try {
                renderer.render(request());
                ADD_FAILURE() << "rendered";
            } catch (const BrowserFailure& failure) {
                const std::string said = failure.what();
                if (page == 0) {
                    EXPECT_NE(said.find(c.says), std::string::npos) << said;
                }
            }
            EXPECT_LT(Clock::now() - start, 4s);
        }
        const bool everStarted = std::string(c.mode) == "crash-on-page" || std::string(c.mode) == "hang-on-page";
        EXPECT_EQ(renderer.available(), everStarted);
        EXPECT_EQ(standIn.starts(), c.startsAgain ? 2 : 1);
    }
}

TEST(Browser, AStopEndsABrowserThatIsStillStartingAndRendersNothingMore) {
    StandIn standIn("silent");
    Renderer renderer(QUILLFEN_STAND_IN_BROWSER, {}, 30s);
    const auto start = Clock::now();
    std::thread page([&] { EXPECT_THROW(renderer.render(request(30s)), BrowserFailure); });
    std::this_thread::sleep_for(300ms);
    renderer.end();
    page.join();
    EXPECT_LT(Clock::now() - start, 3s) << "the stop waited for the browser";
    EXPECT_FALSE(renderer.available());
    EXPECT_THROW(renderer.render(request()), BrowserFailure);
}

}  // namespace
}  // namespace qf::browser
