#include "browser.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <random>

#include "devtools_pipe.h"
#include "platform/child_process.h"

namespace qf::browser {

namespace {

using namespace std::chrono_literals;

constexpr auto kPollSlice = 100ms;
constexpr auto kCommandLimit = 5s;

// Marks the time of every change to the document, for the quiet rule. Runs in
// every document of the tab before the page's own scripts.
constexpr const char* kChangeWatch = R"((() => {
  let changed = performance.now();
  new MutationObserver(() => { changed = performance.now(); })
    .observe(document, {subtree: true, childList: true, characterData: true});
  Object.defineProperty(window, '__quillfenUnchanged', {value: () => performance.now() - changed});
})();)";

constexpr const char* kAskUnchanged = "typeof __quillfenUnchanged === 'function' ? __quillfenUnchanged() : -1";

constexpr const char* kTakeDocument =
    "(document.doctype ? new XMLSerializer().serializeToString(document.doctype) : '') + "
    "(document.documentElement ? document.documentElement.outerHTML : '')";

std::string freshProfileFolder() {
    std::random_device random;
    std::error_code error;
    const auto base = std::filesystem::temp_directory_path(error);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const auto folder = base / ("quillfen-browser-" + std::to_string(random()));
        if (std::filesystem::create_directory(folder, error)) return folder.string();
    }
    throw BrowserFailure("no folder could be made for the browser's profile");
}

Clock::time_point soonest(Clock::time_point a, Clock::time_point b) { return a < b ? a : b; }

// What a tab is waiting on, from its events.
struct TabState {
    std::string mainFrame;
    bool loaded = false;
    bool crashed = false;
    bool closed = false;
    std::map<std::string, Clock::time_point> pending;  // request id: when it was sent

    void hear(const Json& event) {
        const std::string& method = event["method"].get_ref<const std::string&>();
        const Json params = event.value("params", Json::object());
        if (method == "Network.requestWillBeSent") {
            pending.try_emplace(params.value("requestId", std::string()), Clock::now());
        } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
            pending.erase(params.value("requestId", std::string()));
        } else if (method == "Page.loadEventFired") {
            loaded = true;
        } else if (method == "Page.frameStartedLoading") {
            if (params.value("frameId", std::string()) == mainFrame) loaded = false;
        } else if (method == "Page.frameNavigated") {
            const Json frame = params.value("frame", Json::object());
            if (!frame.contains("parentId")) mainFrame = frame.value("id", mainFrame);
        } else if (method == "Inspector.targetCrashed") {
            crashed = true;
        } else if (method == "Target.detachedFromTarget") {
            closed = true;
        }
    }

    std::optional<std::chrono::milliseconds> youngestPending() const {
        std::optional<std::chrono::milliseconds> youngest;
        const auto now = Clock::now();
        for (const auto& [id, since] : pending) {
            const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(now - since);
            if (!youngest || age < *youngest) youngest = age;
        }
        return youngest;
    }
};

// A tab of the run's context, closed with its end.
class Tab {
public:
    Tab(DevToolsPipe& pipe, const std::string& context, Clock::time_point deadline) : pipe_(pipe) {
        target_ = pipe.call("Target.createTarget", {{"url", "about:blank"}, {"browserContextId", context}}, "",
                            deadline)["targetId"]
                      .get<std::string>();
        session_ =
            pipe.call("Target.attachToTarget", {{"targetId", target_}, {"flatten", true}}, "", deadline)["sessionId"]
                .get<std::string>();
        pipe.openQueue(session_);
    }
    ~Tab() {
        pipe_.closeQueue(session_);
        try {
            pipe_.send("Target.closeTarget", {{"targetId", target_}}, "");
        } catch (const BrowserFailure&) {}
    }
    Tab(const Tab&) = delete;
    Tab& operator=(const Tab&) = delete;

    Json call(const std::string& method, Json params, Clock::time_point deadline) {
        return pipe_.call(method, std::move(params), session_, deadline);
    }
    void send(const std::string& method, Json params) { pipe_.send(method, std::move(params), session_); }
    // Takes in the events that came, waiting for one until the deadline.
    void hearEvents(Clock::time_point until) {
        while (auto event = pipe_.nextEvent(session_, until)) {
            state.hear(*event);
            until = Clock::now();  // then only what is there already
        }
    }

    TabState state;

private:
    DevToolsPipe& pipe_;
    std::string target_;
    std::string session_;
};

std::optional<std::chrono::milliseconds> unchangedFor(Tab& tab, Clock::time_point deadline) {
    try {
        const Json reply = tab.call("Runtime.evaluate", {{"expression", kAskUnchanged}, {"returnByValue", true}},
                                    soonest(deadline, Clock::now() + 1s));
        const Json value = reply.value("result", Json::object()).value("value", Json());
        if (!value.is_number()) return std::nullopt;
        const double ms = value.get<double>();
        if (ms < 0) return 0ms;
        return std::chrono::milliseconds(static_cast<long long>(ms));
    } catch (const BrowserFailure&) {
        return std::nullopt;  // the page's scripts are busy; the browser's state says the rest
    }
}

}  // namespace

std::vector<std::string> browserArguments(const std::string& program, const std::string& profile, bool administrator) {
    std::vector<std::string> arguments = {
        "--remote-debugging-pipe",
        "--user-data-dir=" + profile,
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-extensions",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-default-apps",
        "--disable-sync",
        "--disable-gpu",
        "--mute-audio",
        "--deny-permission-prompts",
        "--disable-notifications",
        "--block-new-web-contents",
        "--disable-dev-shm-usage",
    };
    // The headless shell is headless already; a full browser is asked to be.
    if (program.find("headless-shell") == std::string::npos) arguments.insert(arguments.begin(), "--headless");
    if (administrator) arguments.push_back("--no-sandbox");
    arguments.push_back("about:blank");
    return arguments;
}

Browser::Browser(const BrowserOptions& options) : options_(options), profile_(freshProfileFolder()) {
    try {
        pipe_ = std::make_unique<DevToolsPipe>(
            options.program, browserArguments(options.program, profile_, platform::runningAsAdministrator()));
    } catch (...) {
        end();
        throw;
    }
}

void Browser::open() {
    try {
        const auto deadline = Clock::now() + options_.startLimit;
        context_ =
            pipe_->call("Target.createBrowserContext", {{"disposeOnDetach", true}}, "", deadline)["browserContextId"]
                .get<std::string>();
        pipe_->call("Browser.setDownloadBehavior", {{"behavior", "deny"}, {"browserContextId", context_}}, "",
                    deadline);
        pipe_->call("Target.setDiscoverTargets", {{"discover", true}}, "", deadline);
    } catch (const Json::exception&) {
        end();
        throw BrowserFailure("the browser answered what is not the protocol's");
    } catch (...) {
        end();
        throw;
    }
}

Browser::~Browser() { end(); }

bool Browser::alive() const { return pipe_ && pipe_->alive(); }

void Browser::end() noexcept {
    if (pipe_) pipe_->end();
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
}

RenderedPage Browser::render(const RenderRequest& request) {
    const auto start = Clock::now();
    const auto limit = start + request.limit;
    // The last part of the limit is kept for taking the document.
    const auto takeReserve = std::min<std::chrono::milliseconds>(1000ms, request.limit / 4);
    const auto settleBy = limit - takeReserve;
    try {
        Tab tab(*pipe_, context_, soonest(limit, Clock::now() + kCommandLimit));
        const auto commandBy = [&] { return soonest(settleBy, Clock::now() + kCommandLimit); };
        tab.call("Page.enable", {}, commandBy());
        tab.call("Network.enable", {}, commandBy());
        if (!request.userAgent.empty() || !request.acceptLanguage.empty()) {
            Json agent = {{"userAgent", request.userAgent}};
            if (!request.acceptLanguage.empty()) agent["acceptLanguage"] = request.acceptLanguage;
            tab.call("Network.setUserAgentOverride", agent, commandBy());
        }
        if (!request.cookies.empty()) {
            Json cookies = Json::array();
            for (const CookieToSend& c : request.cookies) {
                Json cookie = {{"name", c.name}, {"value", c.value},   {"domain", c.domain},
                               {"path", c.path}, {"secure", c.secure}, {"httpOnly", c.httpOnly}};
                if (c.expires > 0) cookie["expires"] = c.expires;
                cookies.push_back(std::move(cookie));
            }
            tab.call("Network.setCookies", {{"cookies", std::move(cookies)}}, commandBy());
        }
        tab.call("Page.addScriptToEvaluateOnNewDocument", {{"source", kChangeWatch}}, commandBy());
        tab.call("Fetch.enable", {{"patterns", Json::array({{{"urlPattern", "*"}, {"resourceType", "Document"}}})}},
                 commandBy());
        const Json navigated = tab.call("Page.navigate", {{"url", request.address}}, settleBy);
        if (navigated.contains("errorText") && navigated["errorText"].is_string() &&
            !navigated["errorText"].get<std::string>().empty())
            throw BrowserFailure("the browser could not open the page (" + navigated["errorText"].get<std::string>() +
                                 ")");
        tab.state.mainFrame = navigated.value("frameId", std::string());

        bool settled = false;
        while (Clock::now() < settleBy) {
            if (request.cancelled && request.cancelled()) throw BrowserFailure("the page was given up");
            tab.hearEvents(soonest(settleBy, Clock::now() + kPollSlice));
            if (tab.state.crashed) throw BrowserFailure("the browser's tab crashed");
            if (tab.state.closed || !pipe_->alive()) throw BrowserFailure(pipe_->whyGone());
            if (!tab.state.loaded) continue;
            PageProgress progress{true, tab.state.youngestPending(), unchangedFor(tab, settleBy)};
            if (pageDone(options_.rule, progress)) {
                settled = true;
                break;
            }
        }
        if (!settled) tab.send("Runtime.terminateExecution", {});  // a script that never ends
        const Json taken = tab.call("Runtime.evaluate", {{"expression", kTakeDocument}, {"returnByValue", true}},
                                    soonest(limit, Clock::now() + takeReserve));
        const Json value = taken.value("result", Json::object()).value("value", Json());
        if (!value.is_string()) throw BrowserFailure("the browser gave no document");
        return {value.get<std::string>(), settled};
    } catch (const Json::exception&) {
        pipe_->end();
        throw BrowserFailure("the browser answered what is not the protocol's");
    }
}

}  // namespace qf::browser
