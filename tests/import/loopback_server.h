#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for the import tests: serves fixed pages
// by path, one request per connection, on a thread of its own.
//
//     LoopbackServer server;
//     server.page("/table.html", "<table><tr><td>1</td></tr></table>");
//     std::string address = server.url("/table.html");  // "http://127.0.0.1:<port>/table.html"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace qf::testing {

class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Serves a body at a path with a status and a content type. Unknown paths give 404.
    void page(const std::string& path, std::string body, int status = 200,
              std::string contentType = "text/html; charset=utf-8");
    std::string url(const std::string& path) const;
    int port() const { return port_; }
    int requests() const { return requests_; }

    // A port on 127.0.0.1 where nothing listens.
    static int closedPort();

private:
    struct Page {
        int status;
        std::string contentType;
        std::string body;
    };
    void serve();
    void answer(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    std::map<std::string, Page> pages_;
    std::thread thread_;
};

}  // namespace qf::testing
