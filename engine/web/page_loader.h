#pragma once
// The engine's web page source: pages are fetched several at a time on a
// network thread of its own (one libcurl multi handle) and laid out on layout
// threads (one per core), the page a load asks for first and then, in the
// order the loads will come, the pages named ahead of time (expect). The
// loading thread only waits, calling the wait hook, and gets the cells.
//
// A page named ahead is identified by its key and its address: a key named
// again with another address, or no longer named, is dropped and its
// transfer cancelled, so a load never gets a page loaded for something else.
// Read-ahead is bounded by LoadLimits (pages and bytes held); the page asked
// for always loads.

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fetched_page.h"
#include "page_source.h"
#include "script_signals.h"
#include "web_limits.h"

namespace qf::engine {

struct RequestSettings;

// Decodes a fetched page to UTF-8 and lays it out. Fails (qf::Failure) when
// the page is refused. With facts, an HTML page's script facts are read too.
PageGrid layoutFetched(const std::string& address, FetchedPage page, const WebQueryOptions& options,
                       ScriptSignals* facts = nullptr);

// Pages built by scripts (RenderSettings) are rendered by the run's browser on
// render threads of their own, at most RenderSettings::tabs at once, the most
// imminent first, and the rendered document is laid out there; a page that
// cannot be rendered is laid out as served.
//
// Threads: the public members are for the one thread that drives the
// application (the window's thread in the program); the network thread and the
// layout threads are the loader's own, and end with it.
class PageLoader : public PageSource {
public:
    // Every page, asked for or named ahead, is read with the options.
    // Every request is made with the request settings (Transfer); the browser
    // asks for rendered pages with the same User-Agent, Accept-Language and cookies.
    PageLoader(const FetchLimits& fetchLimits, const LoadLimits& loadLimits, const WebQueryOptions& options = {},
               const RenderSettings& render = {}, std::shared_ptr<const RequestSettings> request = {});
    ~PageLoader() override;  // cancels every transfer and waits for the threads
    PageLoader(const PageLoader&) = delete;
    PageLoader& operator=(const PageLoader&) = delete;

    PageGrid load(const std::string& address) override;
    std::size_t readAheadDepth() const override;
    void expect(const std::vector<UpcomingPage>& upcoming) override;
    void setWaitHook(std::function<void()> hook) override;
    void stopReadAhead() override;
    std::vector<std::string> notes() const override;

    // What is held now: pages named ahead (in any stage) and transfers under way.
    std::size_t pagesHeld() const;
    std::size_t transfersUnderWay() const;

private:
    struct Shared;
    void networkLoop();
    void layoutLoop();
    void renderLoop();
    std::int64_t claim(const std::string& address);
    PageGrid waitFor(std::int64_t key, const std::string& address);

    std::unique_ptr<Shared> shared_;
    std::vector<std::thread> threads_;
    std::function<void()> waitHook_;         // the driving thread's
    std::optional<UpcomingPage> nextNamed_;  // the driving thread's
};

}  // namespace qf::engine
