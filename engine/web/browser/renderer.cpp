#include "renderer.h"

#include <cstdlib>
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
    std::shared_ptr<Browser> browser;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        available_ = false;
        browser = std::move(browser_);
    }
    if (browser) browser->end();
}

std::shared_ptr<Browser> Renderer::browser() {
    std::lock_guard lock(mutex_);
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
    const bool restart = started_;
    try {
        BrowserOptions options;
        options.program = program_;
        options.rule = rule_;
        options.startLimit = startLimit_;
        browser_ = std::make_shared<Browser>(options);
        started_ = true;
    } catch (const BrowserFailure& failure) {
        // A browser that ran before and cannot start again is tried once more
        // for the next page; one that never started is not.
        if (!restart) {
            unavailable_ = std::string("the browser could not be started: ") + failure.what();
            available_ = false;
            throw BrowserFailure(unavailable_);
        }
        throw;
    }
    return browser_;
}

RenderedPage Renderer::render(const RenderRequest& request) {
    const std::shared_ptr<Browser> browser = this->browser();
    return browser->render(request);
}

}  // namespace qf::browser
