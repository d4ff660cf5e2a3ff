#pragma once
// The browser's remote-control protocol over its two pipes: JSON messages,
// each ended by a NUL byte. Commands carry an id and get a reply with it;
// events carry a method and, for a tab attached in flat mode, its session id.
//
// A reader thread takes every message in: replies wake the command waiting for
// them, a tab's events go to that tab's queue, and what must be answered at
// once (a dialog, a document request to check) is answered there, so that no
// page can stop the run by waiting on a command nobody sends.
//
// Threads: every public member may be called from any thread.

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "browser_failure.h"
#include "platform/child_process.h"

namespace qf::browser {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

class DevToolsPipe {
public:
    // Starts the program; throws BrowserFailure when it cannot be.
    DevToolsPipe(const std::string& program, const std::vector<std::string>& arguments);
    ~DevToolsPipe();  // ends the browser
    DevToolsPipe(const DevToolsPipe&) = delete;
    DevToolsPipe& operator=(const DevToolsPipe&) = delete;

    // Sends a command and waits for its reply until the deadline: its result.
    // Throws BrowserFailure when the browser is gone or the deadline passes,
    // and when the reply is an error (with the browser's message).
    Json call(const std::string& method, Json params, const std::string& session, Clock::time_point deadline);
    // Sends a command whose reply nobody waits for.
    void send(const std::string& method, Json params, const std::string& session);

    // The events of a tab's session come into its queue from when it is opened.
    void openQueue(const std::string& session);
    void closeQueue(const std::string& session);
    // The next event of the session, waiting until the deadline; no value then.
    std::optional<Json> nextEvent(const std::string& session, Clock::time_point deadline);

    bool alive() const;
    std::string whyGone() const;
    // Ends the browser at once; what waits fails.
    void end() noexcept;

private:
    void readLoop();
    void take(const std::string& message);
    void answerAtOnce(const Json& event);
    void fail(const std::string& why);
    std::uint64_t write(const std::string& method, Json params, const std::string& session);

    std::unique_ptr<platform::ChildProcess> process_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::mutex writeMutex_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Json> replies_;
    std::set<std::uint64_t> unwaited_;  // commands sent without waiting, whose replies are not kept
    std::map<std::string, std::deque<Json>> queues_;
    std::optional<std::string> gone_;  // why the browser can no longer be used
    bool ending_ = false;
    std::thread reader_;
};

}  // namespace qf::browser
