#include "renderer.h"

#include <cstdlib>
#include <optional>
#include <filesystem>

#include "devtools_pipe.h"
#include "platform/child_process.h"

namespace qf::browser {

namespace {

std::string ifThere(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error) ? path : std::string();
}

}  // namespace

std::string findBrowserProgram() {
    if (const char* own = std::getenv("QUILLFEN_BROWSER"); own && *own) return ifThere(own);
#ifdef _WIN32
    for (const char* name : {"msedge.exe", "chrome.exe"})
        if (std::string path = ifThere(platform::registeredApplication(name)); !path.empty()) return path;
    return {};
#else
    return ifThere("/usr/lib/chromium/chromium-headless-shell");
#endif
}

std::string browserToInstall() {
#ifdef _WIN32
    return "Microsoft Edge or Google Chrome";
#else
    return "the package chromium-headless-shell";
#endif
}

Renderer::Renderer(std::string program, DoneRule rule, std::chrono::milliseconds startLimit)
    : program_(std::move(program)), rule_(rule), startLimit_(startLimit) {}

Renderer::~Renderer() { end(); }

bool Renderer::available() const { return available_; }

void Renderer::end() noexcept {
    std::shared_ptr<Browser> browser, starting;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        available_ = false;
        browser = std::move(browser_);
        starting = starting_;
    }
    changed_.notify_all();
    if (browser) browser->end();
    if (starting) starting->end();
}

// A browser is started without the lock held, so that end() can cut a start
// short (a browser that never answers would otherwise hold the run's end up).
std::shared_ptr<Browser> Renderer::browser() {
    std::shared_ptr<Browser> starting;
    bool restart = false;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !starting_ || ended_; });
        if (ended_) throw BrowserFailure("the run was stopped");
        if (!unavailable_.empty()) throw BrowserFailure(unavailable_);
        if (browser_ && browser_->alive()) return browser_;
        browser_.reset();
        if (program_.empty()) program_ = findBrowserProgram();
        if (program_.empty()) {
            unavailable_ = "no browser is installed";
            available_ = false;
            throw BrowserFailure(unavailable_);
        }
        restart = started_;
        BrowserOptions options;
        options.program = program_;
        options.rule = rule_;
        options.startLimit = startLimit_;
        try {
            starting = std::make_shared<Browser>(options);
        } catch (const BrowserFailure& failure) {
            throw unstartable(failure, restart);
        }
        starting_ = starting;
    }
    std::optional<BrowserFailure> failed;
    try {
        starting->open();
    } catch (const BrowserFailure& failure) {
        failed = failure;
    }
    std::lock_guard lock(mutex_);
    starting_.reset();
    changed_.notify_all();
    if (ended_) throw BrowserFailure("the run was stopped");
    if (failed) throw unstartable(*failed, restart);
    started_ = true;
    browser_ = starting;
    return browser_;
}

// With the lock held. A browser that ran before and cannot start again is
// tried once more for the next page; one that never started is not.
BrowserFailure Renderer::unstartable(const BrowserFailure& failure, bool restart) {
    if (restart) return failure;
    unavailable_ = std::string("the browser could not be started: ") + failure.what();
    available_ = false;
    return BrowserFailure(unavailable_);
}

RenderedPage Renderer::render(const RenderRequest& request) {
    const std::shared_ptr<Browser> browser = this->browser();
    return browser->render(request);
}

}  // namespace qf::browser
