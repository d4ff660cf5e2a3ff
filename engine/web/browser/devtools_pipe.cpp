#include "devtools_pipe.h"

#include <array>

namespace qf::browser {

namespace {

constexpr std::size_t kMaxMessageBytes = 512u << 20;  // a document of a very large page, and room
constexpr auto kReadSlice = std::chrono::milliseconds(100);

bool startsWithWebScheme(const std::string& url) {
    return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

}  // namespace

DevToolsPipe::DevToolsPipe(const std::string& program, const std::vector<std::string>& arguments) {
    try {
        process_ = std::make_unique<platform::ChildProcess>(program, arguments);
    } catch (const std::exception& e) {
        throw BrowserFailure(e.what());
    }
    reader_ = std::thread([this] { readLoop(); });
}

DevToolsPipe::~DevToolsPipe() {
    end();
    if (reader_.joinable()) reader_.join();
}

void DevToolsPipe::end() noexcept {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        if (!gone_) gone_ = "the browser was ended";
    }
    changed_.notify_all();
    process_->kill();
}

bool DevToolsPipe::alive() const {
    std::lock_guard lock(mutex_);
    return !gone_;
}

std::string DevToolsPipe::whyGone() const {
    std::lock_guard lock(mutex_);
    return gone_.value_or("");
}

void DevToolsPipe::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (!gone_) gone_ = why;
    }
    changed_.notify_all();
    process_->kill();
}

std::uint64_t DevToolsPipe::write(const std::string& method, Json params, const std::string& session) {
    std::lock_guard writing(writeMutex_);
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (gone_) throw BrowserFailure(*gone_);
        id = nextId_++;
    }
    Json message = {{"id", id}, {"method", method}, {"params", params.is_null() ? Json::object() : std::move(params)}};
    if (!session.empty()) message["sessionId"] = session;
    std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
    text.push_back('\0');
    if (!process_->write(text.data(), text.size())) {
        fail("the browser stopped reading its commands");
        throw BrowserFailure(whyGone());
    }
    return id;
}

void DevToolsPipe::send(const std::string& method, Json params, const std::string& session) {
    const std::uint64_t id = write(method, std::move(params), session);
    std::lock_guard lock(mutex_);
    if (!replies_.erase(id)) unwaited_.insert(id);  // its reply is dropped when it comes
}

Json DevToolsPipe::call(const std::string& method, Json params, const std::string& session,
                        Clock::time_point deadline) {
    const std::uint64_t id = write(method, std::move(params), session);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (auto it = replies_.find(id); it != replies_.end()) {
            Json reply = std::move(it->second);
            replies_.erase(it);
            lock.unlock();
            if (reply.contains("error")) {
                const Json& error = reply["error"];
                const std::string text = error.is_object() && error.contains("message") && error["message"].is_string()
                                             ? error["message"].get<std::string>()
                                             : error.dump();
                throw BrowserFailure(method + ": " + text);
            }
            return reply.contains("result") ? std::move(reply["result"]) : Json::object();
        }
        if (gone_) throw BrowserFailure(*gone_);
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && !replies_.contains(id))
            throw BrowserFailure("the browser did not answer " + method + " in time");
    }
}

void DevToolsPipe::openQueue(const std::string& session) {
    std::lock_guard lock(mutex_);
    queues_[session];
}

void DevToolsPipe::closeQueue(const std::string& session) {
    std::lock_guard lock(mutex_);
    queues_.erase(session);
}

std::optional<Json> DevToolsPipe::nextEvent(const std::string& session, Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    for (;;) {
        auto it = queues_.find(session);
        if (it != queues_.end() && !it->second.empty()) {
            Json event = std::move(it->second.front());
            it->second.pop_front();
            return event;
        }
        if (gone_) return std::nullopt;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) return std::nullopt;
    }
}

void DevToolsPipe::readLoop() {
    std::string pending;
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (ending_ || gone_) return;
        }
        const std::ptrdiff_t n = process_->read(buffer.data(), buffer.size(), kReadSlice);
        if (n < 0) {
            fail(pending.empty() ? "the browser ended" : "the browser ended in the middle of a message");
            return;
        }
        if (n == 0) continue;
        std::size_t scanFrom = pending.size();
        pending.append(buffer.data(), static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end = pending.find('\0', scanFrom); end != std::string::npos;
             end = pending.find('\0', start)) {
            try {
                take(pending.substr(start, end - start));
            } catch (const std::exception&) {
                fail("the browser sent a message that is not the protocol's");
                return;
            }
            start = end + 1;
        }
        pending.erase(0, start);
        if (pending.size() > kMaxMessageBytes) {
            fail("the browser sent a message too large to take");
            return;
        }
    }
}

void DevToolsPipe::take(const std::string& text) {
    Json message = Json::parse(text);
    if (!message.is_object()) throw std::runtime_error("not an object");
    if (message.contains("id")) {
        const std::uint64_t id = message["id"].get<std::uint64_t>();
        {
            std::lock_guard lock(mutex_);
            if (!unwaited_.erase(id)) replies_[id] = std::move(message);
        }
        changed_.notify_all();
        return;
    }
    if (!message.contains("method") || !message["method"].is_string()) throw std::runtime_error("no method");
    answerAtOnce(message);
    std::string session;
    if (message.contains("sessionId") && message["sessionId"].is_string())
        session = message["sessionId"].get<std::string>();
    else if (message.contains("params") && message["params"].is_object() && message["params"].contains("sessionId") &&
             message["params"]["sessionId"].is_string())
        session = message["params"]["sessionId"].get<std::string>();  // the browser's word about a tab
    {
        std::lock_guard lock(mutex_);
        auto it = queues_.find(session);
        if (it == queues_.end()) return;  // no one listens
        it->second.push_back(std::move(message));
    }
    changed_.notify_all();
}

// Dialogs are accepted and document requests checked the moment they come, on
// this thread: a page that waits on them blocks every command to its tab.
void DevToolsPipe::answerAtOnce(const Json& event) try {
    const std::string& method = event["method"].get_ref<const std::string&>();
    const std::string session = event.value("sessionId", std::string());
    const Json params = event.value("params", Json::object());
    if (method == "Page.javascriptDialogOpening") {
        send("Page.handleJavaScriptDialog", {{"accept", true}, {"promptText", ""}}, session);
    } else if (method == "Fetch.requestPaused") {
        const std::string url = params.contains("request") ? params["request"].value("url", std::string()) : "";
        const std::string id = params.value("requestId", std::string());
        if (startsWithWebScheme(url))
            send("Fetch.continueRequest", {{"requestId", id}}, session);
        else
            send("Fetch.failRequest", {{"requestId", id}, {"errorReason", "BlockedByClient"}}, session);
    } else if (method == "Target.targetCreated") {
        // A window a page opened (a pop-up) is closed at once.
        const Json info = params.value("targetInfo", Json::object());
        if (info.contains("openerId") && info.value("type", std::string()) == "page")
            send("Target.closeTarget", {{"targetId", info.value("targetId", std::string())}}, "");
    }
} catch (const BrowserFailure&) {
    // Gone meanwhile: whoever waits hears it.
}

}  // namespace qf::browser
