#include "page_loader.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "charset.h"
#include "engine/web/browser/renderer.h"
#include "engine/workbook/workbook.h"
#include "fetch.h"
#include "host_name.h"
#include "html_layout.h"
#include "page_values.h"
#include "platform/platform.h"

namespace qf::engine {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The key of a page asked for by a load without having been named ahead.
constexpr std::int64_t kAskedKey = std::numeric_limits<std::int64_t>::min();
// How long a waiting load sleeps between two calls of the wait hook.
constexpr auto kWaitSlice = 15ms;

enum class Stage { Queued, Fetching, Fetched, LayingOut, ToRender, Rendering, Done };

struct Slot {
    std::uint64_t id = 0;      // never reused: tells a slot from a later one under the same key
    std::string address;       // as the load asks for it
    std::string fetchAddress;  // where it is fetched from: a refresh element moves it
    int refreshes = 0;         // refresh elements followed
    std::string host;
    Stage stage = Stage::Queued;
    bool retried = false;
    Clock::time_point notBefore{};
    FetchedPage page;
    PageGrid grid;  // laid out; for a page to render, as served
    std::optional<std::string> error;
    std::size_t bytes = 0;  // counted in the bytes held
};

// A transfer under way on the network thread, for the page of a slot.
struct ActiveTransfer {
    std::int64_t key;
    std::uint64_t id;
    std::string host;
    std::unique_ptr<Transfer> transfer;
    CURLcode result = CURLE_OK;  // once it has finished
};

std::size_t gridBytes(const PageGrid& grid) {
    std::size_t bytes = sizeof(PageGrid) + (grid.encoded ? grid.encoded->bytes() : 0);
    for (const auto& row : grid.rows) {
        bytes += sizeof(row) + row.capacity() * sizeof(CellValue);
        for (const CellValue& cell : row) bytes += cell.text.capacity();
    }
    return bytes;
}

bool retryable(long status) { return status == 429 || status == 503; }

// What the sheet's thread needs of a grid, made on the thread that laid it
// out: the widths, the rows encoded for column A (where the import places
// every page; another column only rewrites each row's start), the cells freed.
void readyForSheet(PageGrid& grid) {
    grid.columnWidths = fittedWidths(grid);
    grid.encoded = std::make_shared<EncodedRows>(grid, 0);
    grid.rows = {};
}

}  // namespace

PageGrid layoutFetched(const std::string& address, FetchedPage page, const WebQueryOptions& options,
                       ScriptSignals* facts) {
    const bool html = page.kind == PageKind::Html;
    std::string text = decodeToUtf8(std::move(page.body), charsetParameter(page.contentType), html);
    try {
        return html ? layoutHtml(text, options, page.contentLanguage, facts)
                    : layoutText(text, options, page.contentLanguage);
    } catch (const PageRefused& refused) {
        throw Failure(unableToOpen(address, refused.what()));
    }
}

struct PageLoader::Shared {
    FetchLimits fetchLimits;
    LoadLimits limits;
    RenderSettings render;
    WebQueryOptions options;                      // what every page is read with
    std::unique_ptr<browser::Renderer> renderer;  // made with the loader, its browser on first use
    CURLM* multi = nullptr;  // made before the threads start; curl_multi_wakeup may come from any thread
    std::shared_ptr<const RequestSettings> request;  // every transfer's

    mutable std::mutex mutex;
    std::condition_variable done;            // a slot reached Done
    std::condition_variable work;            // a slot reached Fetched, or the loader is ending
    std::condition_variable renderWork;      // a slot reached ToRender, or the loader is ending
    std::vector<std::thread> renderThreads;  // started for the first page to render
    int unrendered = 0;                      // pages built by scripts read as served, as no browser could be had
    std::map<std::int64_t, Slot> slots;      // the smallest key is the most imminent
    std::map<std::string, int> slowedHosts;  // hosts that asked to be spared: their connection limit
    std::set<std::string> answeredHosts;     // hosts a transfer has finished with (see startTransfers)
    std::size_t heldBytes = 0;
    std::size_t underWay = 0;
    std::uint64_t nextId = 1;
    bool stopping = false;

    void wakeNetwork() { curl_multi_wakeup(multi); }

    // With the mutex held.
    void drop(std::map<std::int64_t, Slot>::iterator it) {
        heldBytes -= it->second.bytes;
        slots.erase(it);
    }
    void add(std::int64_t key, const std::string& address) {
        Slot slot;
        slot.id = nextId++;
        slot.address = address;
        slot.fetchAddress = address;
        slot.host = hostOf(slot.address);
        slots[key] = std::move(slot);
    }
    void finishSlot(Slot& slot, std::optional<std::string> error) {
        slot.error = std::move(error);
        slot.stage = Stage::Done;
        done.notify_all();
    }

    // With the lock held: the slot under the key if it is still the one with
    // the id (not dropped, nor named again meanwhile); else the end.
    std::map<std::int64_t, Slot>::iterator find(std::int64_t key, std::uint64_t id) {
        const auto it = slots.find(key);
        return it != slots.end() && it->second.id == id ? it : slots.end();
    }

    // With the lock held: waits on cv until a slot is in the stage and gives
    // the most imminent one; the end of the slots once the loader is ending.
    std::map<std::int64_t, Slot>::iterator waitForStage(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                                                        Stage stage) {
        auto next = slots.end();
        cv.wait(lock, [&] {
            if (stopping) return true;
            next = std::find_if(slots.begin(), slots.end(), [&](const auto& e) { return e.second.stage == stage; });
            return next != slots.end();
        });
        return stopping ? slots.end() : next;
    }

    // The network thread's transfers.
    void removeTransfer(std::vector<ActiveTransfer>& active, std::size_t i) {
        curl_multi_remove_handle(multi, active[i].transfer->handle());
        active.erase(active.begin() + static_cast<std::ptrdiff_t>(i));
    }
    // With the mutex held: transfers of pages no longer wanted stop at once.
    void stopUnwanted(std::vector<ActiveTransfer>& active) {
        for (std::size_t i = active.size(); i-- > 0;) {
            if (find(active[i].key, active[i].id) == slots.end()) removeTransfer(active, i);
        }
    }
    // With the mutex held: starts what may start, the most imminent first.
    // Returns how many milliseconds the network may wait before it looks again.
    int startTransfers(std::vector<ActiveTransfer>& active);
    // Lets curl work, then takes the transfers that have finished out of active.
    std::vector<ActiveTransfer> takeFinished(std::vector<ActiveTransfer>& active);
    // Gives the slot the transfer was for (if it is still wanted) its page, its
    // failure or another try.
    void finishTransfer(const ActiveTransfer& finished);
};

int PageLoader::Shared::startTransfers(std::vector<ActiveTransfer>& active) {
    int timeoutMs = 1000;
    std::map<std::string, int> perHost;
    for (const ActiveTransfer& a : active) ++perHost[a.host];
    const auto now = Clock::now();
    for (auto it = slots.begin(); it != slots.end(); ++it) {
        if (active.size() >= static_cast<std::size_t>(limits.connectionsInAll)) break;
        Slot& slot = it->second;
        if (slot.stage != Stage::Queued) continue;
        if (slot.notBefore > now) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(slot.notBefore - now);
            timeoutMs = std::min(timeoutMs, static_cast<int>(wait.count()) + 1);
            continue;
        }
        const bool imminent = it == slots.begin();
        if (!imminent && heldBytes >= limits.bytesAhead) break;
        const auto slowed = slowedHosts.find(slot.host);
        // A site's first page alone, as a browser opens a site: the cookies it
        // sets go with the site's later pages.
        const int hostLimit = !answeredHosts.contains(slot.host) ? 1
                              : slowed != slowedHosts.end()      ? slowed->second
                                                                 : limits.connectionsPerHost;
        if (perHost[slot.host] >= hostLimit) continue;
        auto transfer = std::make_unique<Transfer>(fetchLimits, request);
        try {
            transfer->prepare(slot.fetchAddress, !options.disableRedirections);
        } catch (const Failure& f) {
            finishSlot(slot, f.what());
            continue;
        }
        curl_multi_add_handle(multi, transfer->handle());
        slot.stage = Stage::Fetching;
        ++perHost[slot.host];
        active.push_back({it->first, slot.id, slot.host, std::move(transfer)});
    }
    return timeoutMs;
}

std::vector<ActiveTransfer> PageLoader::Shared::takeFinished(std::vector<ActiveTransfer>& active) {
    int running = 0;
    curl_multi_perform(multi, &running);
    std::vector<ActiveTransfer> finished;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        const auto a = std::find_if(active.begin(), active.end(),
                                    [&](const ActiveTransfer& x) { return x.transfer->handle() == msg->easy_handle; });
        if (a == active.end()) continue;
        a->result = msg->data.result;
        curl_multi_remove_handle(multi, msg->easy_handle);
        finished.push_back(std::move(*a));
        active.erase(a);
    }
    return finished;
}

PageLoader::PageLoader(const FetchLimits& fetchLimits, const LoadLimits& loadLimits, const WebQueryOptions& options,
                       const RenderSettings& render, std::shared_ptr<const RequestSettings> request)
    : shared_(std::make_unique<Shared>()) {
    Shared& s = *shared_;
    s.request = std::move(request);
    s.fetchLimits = fetchLimits;
    s.limits = loadLimits;
    s.render = render;
    s.render.tabs = std::max(1u, render.tabs);
    if (render.mode != ScriptsMode::Never) s.renderer = std::make_unique<browser::Renderer>(render.browser);
    s.options = options;
    s.limits.connectionsPerHost = std::max(1, s.limits.connectionsPerHost);
    s.limits.connectionsInAll = std::max(1, s.limits.connectionsInAll);
    Transfer probe(fetchLimits);  // sets libcurl up once for the process
    s.multi = curl_multi_init();
    if (!s.multi) throw Failure("The network library could not be started.");
    curl_multi_setopt(s.multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(s.limits.connectionsInAll));
    curl_multi_setopt(s.multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(s.limits.connectionsPerHost));
    curl_multi_setopt(s.multi, CURLMOPT_MAXCONNECTS, static_cast<long>(s.limits.connectionsInAll));
    unsigned layouts = s.limits.layoutThreads ? s.limits.layoutThreads : std::thread::hardware_concurrency();
    threads_.emplace_back([this] { networkLoop(); });
    for (unsigned i = 0; i < std::max(1u, layouts); ++i) threads_.emplace_back([this] { layoutLoop(); });
    // Made while the first pages are on their way and the layout threads idle.
    threads_.emplace_back([options] {
        platform::nameThisThread("qf-values");
        prepareValueReading(options);
    });
}

PageLoader::~PageLoader() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    if (shared_->renderer) shared_->renderer->end();
    shared_->work.notify_all();
    shared_->renderWork.notify_all();
    shared_->wakeNetwork();
    for (std::thread& t : threads_) t.join();
    for (std::thread& t : shared_->renderThreads) t.join();  // none starts once stopping is set
    curl_multi_cleanup(shared_->multi);
}

std::size_t PageLoader::readAheadDepth() const { return shared_->limits.pagesAhead; }

void PageLoader::setWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }

std::size_t PageLoader::pagesHeld() const {
    std::lock_guard lock(shared_->mutex);
    return static_cast<std::size_t>(std::count_if(shared_->slots.begin(), shared_->slots.end(),
                                                  [](const auto& s) { return s.first != kAskedKey; }));
}

std::size_t PageLoader::transfersUnderWay() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->underWay;
}

void PageLoader::expect(const std::vector<UpcomingPage>& upcoming) {
    Shared& s = *shared_;
    const std::size_t named = std::min(upcoming.size(), s.limits.pagesAhead + 1);
    {
        std::lock_guard lock(s.mutex);
        std::map<std::int64_t, const std::string*> wanted;
        for (std::size_t i = 0; i < named; ++i) wanted.emplace(upcoming[i].key, &upcoming[i].address);
        for (auto it = s.slots.begin(); it != s.slots.end();) {
            const auto w = wanted.find(it->first);
            const bool keep = it->first == kAskedKey || (w != wanted.end() && *w->second == it->second.address);
            if (keep)
                ++it;
            else
                s.drop(it++);
        }
        for (const auto& [key, address] : wanted)
            if (!s.slots.contains(key)) s.add(key, *address);
    }
    nextNamed_.reset();
    if (!upcoming.empty()) nextNamed_ = upcoming.front();
    s.wakeNetwork();
}

void PageLoader::stopReadAhead() {
    Shared& s = *shared_;
    {
        std::lock_guard lock(s.mutex);
        for (auto it = s.slots.begin(); it != s.slots.end();) s.drop(it++);
    }
    nextNamed_.reset();
    s.wakeNetwork();
}

PageGrid PageLoader::load(const std::string& address) {
    const std::int64_t key = claim(address);
    shared_->wakeNetwork();
    return waitFor(key, address);
}

// The key of the slot that serves this load: the page named next when it is
// this address, else a fresh one.
std::int64_t PageLoader::claim(const std::string& address) {
    Shared& s = *shared_;
    std::optional<UpcomingPage> named = std::move(nextNamed_);
    nextNamed_.reset();
    std::lock_guard lock(s.mutex);
    if (named && named->address == address) {
        if (!s.slots.contains(named->key)) s.add(named->key, address);
        return named->key;
    }
    if (auto it = s.slots.find(kAskedKey); it != s.slots.end()) s.drop(it);
    s.add(kAskedKey, address);
    return kAskedKey;
}

PageGrid PageLoader::waitFor(std::int64_t key, const std::string& address) {
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    for (;;) {
        auto it = s.slots.find(key);
        if (it == s.slots.end()) throw Failure(unableToOpen(address, "the load was cancelled"));
        if (it->second.stage == Stage::Done) {
            std::optional<std::string> error = std::move(it->second.error);
            PageGrid grid = std::move(it->second.grid);
            s.drop(it);
            lock.unlock();
            s.wakeNetwork();  // room for the next page ahead
            if (error) throw Failure(*error);
            return grid;
        }
        if (!waitHook_) {
            s.done.wait(lock);
            continue;
        }
        s.done.wait_for(lock, kWaitSlice);
        const auto again = s.slots.find(key);
        if (again != s.slots.end() && again->second.stage == Stage::Done) continue;
        lock.unlock();
        waitHook_();
        lock.lock();
    }
}

// ---- the network thread ----

void PageLoader::networkLoop() {
    platform::nameThisThread("qf-network");
    Shared& s = *shared_;
    std::vector<ActiveTransfer> active;
    for (;;) {
        int timeoutMs = 0;
        {
            std::lock_guard lock(s.mutex);
            if (s.stopping) break;
            s.stopUnwanted(active);
            timeoutMs = s.startTransfers(active);
            s.underWay = active.size();
        }
        std::vector<ActiveTransfer> finished = s.takeFinished(active);
        for (const ActiveTransfer& f : finished) s.finishTransfer(f);
        if (finished.empty()) curl_multi_poll(s.multi, nullptr, 0, timeoutMs, nullptr);  // else: start the next at once
    }
    for (std::size_t i = active.size(); i-- > 0;) s.removeTransfer(active, i);
}

void PageLoader::Shared::finishTransfer(const ActiveTransfer& finished) {
    Shared& s = *this;
    Transfer& transfer = *finished.transfer;
    const std::string& host = finished.host;
    const long status = transfer.status();
    const long retryAfter = retryable(status) ? transfer.retryAfterSeconds().value_or(-1) : -1;
    std::optional<FetchedPage> page;
    std::optional<std::string> error;
    try {
        page = transfer.finish(finished.result);
    } catch (const Failure& f) {
        error = f.what();
    }
    std::lock_guard lock(s.mutex);
    s.answeredHosts.insert(host);
    const auto it = s.find(finished.key, finished.id);
    if (it == s.slots.end()) return;  // dropped meanwhile
    Slot& slot = it->second;
    if (error && retryAfter >= 0 && retryAfter <= s.limits.maxRetryAfterSeconds) {
        s.slowedHosts[host] = 1;  // for the rest of this loader's life
        if (!slot.retried) {
            slot.retried = true;
            slot.stage = Stage::Queued;
            slot.notBefore = Clock::now() + std::chrono::seconds(retryAfter);
            return;
        }
    }
    if (error) {
        s.finishSlot(slot, std::move(error));
        return;
    }
    if (page->address.empty()) page->address = slot.fetchAddress;
    slot.page = std::move(*page);
    slot.bytes = slot.page.body.size();
    s.heldBytes += slot.bytes;
    slot.stage = Stage::Fetched;
    s.work.notify_one();
}

// ---- the layout threads ----

void PageLoader::layoutLoop() {
    platform::nameThisThread("qf-layout");
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const auto next = s.waitForStage(lock, s.work, Stage::Fetched);
        if (next == s.slots.end()) return;
        const std::int64_t key = next->first;
        Slot& slot = next->second;
        const std::uint64_t id = slot.id;
        const std::string address = slot.address;
        const WebQueryOptions& options = s.options;  // fixed for the loader's life
        FetchedPage page = std::move(slot.page);
        const std::string fetchedFrom = page.address;
        const bool html = page.kind == PageKind::Html;
        slot.stage = Stage::LayingOut;
        lock.unlock();

        PageGrid grid;
        ScriptSignals facts;
        std::optional<std::string> error;
        try {
            grid = layoutFetched(address, std::move(page), options, &facts);
            readyForSheet(grid);
        } catch (const std::exception& e) {
            error = e.what();
        }
        const std::size_t bytes = error ? 0 : gridBytes(grid);
        const std::optional<std::string> refresh = !error && html && facts.refresh && !options.disableRedirections
                                                       ? refreshTarget(fetchedFrom, *facts.refresh)
                                                       : std::nullopt;
        const bool scriptBuilt = html && !error && scriptBuiltReason(facts).has_value();

        lock.lock();
        const auto it = s.find(key, id);
        if (it == s.slots.end()) continue;  // dropped meanwhile
        Slot& laid = it->second;
        if (refresh && laid.refreshes < s.fetchLimits.maxRedirects) {
            // The reader's browser goes on to the refresh's page: so does the fetch.
            ++laid.refreshes;
            laid.fetchAddress = *refresh;
            laid.host = hostOf(*refresh);
            laid.stage = Stage::Queued;
            s.wakeNetwork();
            continue;
        }
        s.heldBytes -= laid.bytes;
        laid.bytes = bytes;
        s.heldBytes += bytes;
        laid.grid = std::move(grid);
        const ScriptsMode mode = s.render.mode;
        const bool render =
            !error && html && (mode == ScriptsMode::Always || (mode == ScriptsMode::Auto && scriptBuilt));
        if (render && s.renderer->available()) {
            laid.page.address = fetchedFrom;
            laid.stage = Stage::ToRender;
            if (s.renderThreads.empty())
                for (unsigned i = 0; i < s.render.tabs; ++i) s.renderThreads.emplace_back([this] { renderLoop(); });
            s.renderWork.notify_one();
            continue;
        }
        if (render) ++s.unrendered;
        s.finishSlot(laid, std::move(error));
        s.wakeNetwork();
    }
}

// ---- the render threads ----

void PageLoader::renderLoop() {
    platform::nameThisThread("qf-render");
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    for (;;) {
        const auto next = s.waitForStage(lock, s.renderWork, Stage::ToRender);
        if (next == s.slots.end()) return;
        const std::int64_t key = next->first;
        Slot& slot = next->second;
        const std::uint64_t id = slot.id;
        const std::string address = slot.address;
        const WebQueryOptions& options = s.options;  // fixed for the loader's life
        const std::string contentLanguage = slot.page.contentLanguage;
        browser::RenderRequest request;
        request.address = slot.page.address;
        // Asked for as the run's fetches ask: its User-Agent, language and cookies.
        request.userAgent = s.request && !s.request->userAgent.empty() ? s.request->userAgent : defaultUserAgent();
        if (s.request) request.acceptLanguage = s.request->acceptLanguage;
        if (s.request && s.request->cookies)
            for (const Cookie& c : cookiesFor(*s.request->cookies, request.address))
                request.cookies.push_back({c.name, c.value, c.includeSubdomains ? "." + c.domain : c.domain, c.path,
                                           c.secure, c.httpOnly, c.expires});
        request.limit = s.render.limit;
        request.cancelled = [&s, key, id] {
            std::lock_guard held(s.mutex);
            return s.stopping || s.find(key, id) == s.slots.end();
        };
        slot.stage = Stage::Rendering;
        lock.unlock();

        std::optional<PageGrid> rendered;
        std::string note;  // told with the page's entry
        try {
            browser::RenderedPage page = s.renderer->render(request);
            if (!page.settled)
                note = "the page was still changing after " + std::to_string(s.render.limit.count()) +
                       " s; it was imported as it stood then";
            FetchedPage document;
            document.contentType = "text/html; charset=utf-8";
            document.contentLanguage = contentLanguage;
            document.body = std::move(page.html);
            rendered = layoutFetched(address, std::move(document), options);
            readyForSheet(*rendered);
        } catch (const std::exception& e) {
            rendered.reset();
            note = std::string("the page could not be rendered (") + e.what() + "); it was imported as served";
        }

        lock.lock();
        const auto it = s.find(key, id);
        if (it == s.slots.end()) continue;  // dropped meanwhile
        if (rendered) {
            const std::size_t bytes = gridBytes(*rendered);
            s.heldBytes -= it->second.bytes;
            it->second.bytes = bytes;
            s.heldBytes += bytes;
            it->second.grid = std::move(*rendered);
        } else if (!s.renderer->available()) {
            ++s.unrendered;
            note.clear();  // without a browser at all, the count at the end says it for every page
        }
        if (!note.empty()) it->second.grid.notes.push_back(std::move(note));
        it->second.page = {};
        s.finishSlot(it->second, std::nullopt);
        s.wakeNetwork();
    }
}

std::vector<std::string> PageLoader::notes() const {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    if (s.unrendered == 0) return {};
    return {(s.unrendered == 1
                 ? std::string("1 page was built by scripts and was read as served")
                 : std::to_string(s.unrendered) + " pages were built by scripts and were read as served") +
            ", as no browser could be started: install " + browser::browserToInstall() +
            " to read such pages as a browser shows them."};
}

}  // namespace qf::engine
