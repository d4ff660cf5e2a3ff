#pragma once
// The browser of one run, as the page loader uses it: found and started the
// first time a page needs it, started again for the next page after it
// crashed or ended, and ended with the run. A browser that cannot be started
// is not tried again in the same run.
//
// Threads: render may be called from several threads at once.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "browser.h"

namespace qf::browser {

// The browser Quillfen drives: QUILLFEN_BROWSER when set, else on Linux
// Debian's headless shell, on Windows the installed Edge, else Chrome.
// Empty when there is none.
std::string findBrowserProgram();

// What to install so that pages built by scripts can be rendered.
std::string browserToInstall();

class Renderer {
public:
    // program: the browser's executable; empty: found (findBrowserProgram).
    // startLimit: how long a browser may take to start and answer.
    explicit Renderer(std::string program = {}, DoneRule rule = {},
                      std::chrono::milliseconds startLimit = std::chrono::seconds(20));
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Renders the page; throws BrowserFailure with the reason when it could not
    // be (the page is then read as served).
    RenderedPage render(const RenderRequest& request);

    // False once the browser could not be found or started.
    bool available() const;

    // Ends the browser at once: pages in hand fail, and none is rendered after.
    void end() noexcept;

private:
    std::shared_ptr<Browser> browser();
    BrowserFailure unstartable(const BrowserFailure& failure, bool restart);

    std::string program_;
    DoneRule rule_;
    std::chrono::milliseconds startLimit_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;  // a start has ended, or the run
    std::shared_ptr<Browser> browser_;
    std::shared_ptr<Browser> starting_;  // being started, without the lock
    std::string unavailable_;            // why no browser can be had; empty while one can
    bool started_ = false;               // a browser of this run has run
    bool ended_ = false;
    std::atomic<bool> available_{true};  // asked without the lock: a start may hold it a while
};

}  // namespace qf::browser
