#pragma once
// An HTTP server on 127.0.0.1 (ephemeral port) whose every answer is written by
// the test, byte by byte if need be: slow, broken, reset or never finished
// replies. Each connection runs on a thread of its own; the destructor ends
// them all, also handlers that are still waiting.
//
//     ScriptedHttpServer server([](const Request& r, ScriptedHttpServer::Connection& c) {
//         c.send(ScriptedHttpServer::response(200, "text/html", "<p>hi</p>"));
//     });
//     fetch(server.url("/page"));

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qf::testing {

class ScriptedHttpServer {
public:
    struct Request {
        std::string path;
        std::string head;  // request line and headers
        // A header's value ("" when absent), its name in any letter case.
        std::string header(std::string_view name) const;
    };

    class Connection {
    public:
        Connection(ScriptedHttpServer& server, int fd) : server_(server), fd_(fd) {}
        // False once the client has gone.
        bool send(std::string_view bytes);
        // Ends the connection with a TCP reset instead of an orderly close.
        void reset();
        // Waits, returning early (false) when the server is shutting down.
        bool pause(std::chrono::milliseconds time) { return server_.pause(time); }
        // Keep the connection open for the next request after this one.
        void keepAlive() { keepAlive_ = true; }

    private:
        friend class ScriptedHttpServer;
        ScriptedHttpServer& server_;
        int fd_;
        bool keepAlive_ = false;
        bool reset_ = false;
    };

    using Handler = std::function<void(const Request&, Connection&)>;

    // host: the loopback address to listen on (127.0.0.2 and 127.0.0.3 serve
    // as further host names on the same machine).
    explicit ScriptedHttpServer(Handler handler, std::string host = "127.0.0.1");
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    std::string url(const std::string& path) const;
    int port() const { return port_; }
    int connections() const { return connections_; }
    int requests() const { return requests_; }

    // A complete response with Content-Length (and "Connection: close" unless
    // keepAlive).
    static std::string response(int status, std::string_view contentType, std::string_view body,
                                std::string_view extraHeaders = {}, bool keepAlive = false);

private:
    void acceptLoop();
    void serve(int fd);
    bool pause(std::chrono::milliseconds time);

    Handler handler_;
    std::string host_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    // One thread a connection; finished ones are joined as new connections come,
    // so a long run of short connections keeps no threads (and their memory) around.
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Worker> workers_;
    std::vector<int> openSockets_;
    std::thread acceptor_;
};

}  // namespace qf::testing
