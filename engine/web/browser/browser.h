#pragma once
// One browser process, driven over its remote-control pipes, rendering pages
// in tabs of one browser context of its own (its cookies and storage are the
// run's, and gone with it).
//
//     qf::browser::Browser browser({.program = qf::browser::findBrowserProgram()});
//     browser.open();
//     qf::browser::RenderRequest request;
//     request.address = "http://127.0.0.1:8080/app.html";
//     std::string html = browser.render(request).html;
//
// A page can do nothing to the run: its dialogs are accepted, downloads and
// pop-ups refused, permission prompts denied, its navigation kept on http and
// https; a page that does not settle is taken as it stands at its limit (a
// script that never ends is stopped first), and its tab is closed.
//
// Threads: render may be called from several threads at once, one tab each.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser_failure.h"
#include "done_rule.h"

namespace qf::browser {

struct BrowserOptions {
    std::string program;  // the browser's executable
    DoneRule rule;        // when a page is done
    std::chrono::milliseconds startLimit{20'000};
};

// A cookie the page's site set earlier in the run, for the browser to send.
struct CookieToSend {
    std::string name;
    std::string value;
    std::string domain;  // with a leading dot: its subdomains too
    std::string path = "/";
    bool secure = false;
    bool httpOnly = false;
    std::int64_t expires = 0;  // seconds since 1970; 0: ends with the run
};

struct RenderRequest {
    std::string address;
    std::vector<CookieToSend> cookies;
    std::string userAgent;       // empty: the browser's own
    std::string acceptLanguage;  // empty: none
    std::chrono::milliseconds limit{15'000};
    // Asked while the page settles: true gives the page up at once.
    std::function<bool()> cancelled;
};

struct RenderedPage {
    std::string html;     // the document as it stood, serialized
    bool settled = true;  // false: taken at the limit
};

class DevToolsPipe;

class Browser {
public:
    // Starts the browser; throws BrowserFailure when it cannot.
    explicit Browser(const BrowserOptions& options);
    // Makes the run's context in it, waiting for the browser at most
    // BrowserOptions::startLimit; end() from another thread cuts it short.
    // Throws BrowserFailure.
    void open();
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // Renders the page in a new tab and closes it. Throws BrowserFailure when
    // nothing could be taken (the browser ended or broke off, the page could
    // not be opened, or it was cancelled).
    RenderedPage render(const RenderRequest& request);

    bool alive() const;
    void end() noexcept;

private:
    BrowserOptions options_;
    std::string profile_;  // a folder of its own, removed at the end
    std::unique_ptr<DevToolsPipe> pipe_;
    std::string context_;
};

// The browser's command line: remote control on the pipes, no first-run
// pages, no background traffic; its own protections off only where the
// system's highest rights would make it refuse to start.
std::vector<std::string> browserArguments(const std::string& program, const std::string& profile, bool administrator);

}  // namespace qf::browser
