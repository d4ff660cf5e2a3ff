#pragma once
// Fixed pages served by path on 127.0.0.1, for the import tests:
//
//     LoopbackServer server;
//     server.page("/table.html", "<table><tr><td>1</td></tr></table>");
//     std::string address = server.url("/table.html");  // "http://127.0.0.1:<port>/table.html"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/http_server.h"

namespace qf::testing {

class LoopbackServer {
public:
    LoopbackServer();

    // Serves a body at a path with a status and a content type. Unknown paths give 404.
    void page(const std::string& path, std::string body, int status = 200,
              std::string contentType = "text/html; charset=utf-8");
    // Answers a path from a handler of the test's: a gate that looks at the
    // request (its headers, cookies) before it answers.
    void handle(const std::string& path, ScriptedHttpServer::Handler handler);
    std::string url(const std::string& path) const { return server_.url(path); }
    int port() const { return server_.port(); }
    int requests() const { return server_.requests(); }
    // The paths asked for, in the order the requests came.
    std::vector<std::string> requested() const;

    // A port on 127.0.0.1 where nothing listens.
    static int closedPort();

private:
    struct Page {
        int status;
        std::string contentType;
        std::string body;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Page> pages_;
    std::map<std::string, ScriptedHttpServer::Handler> handlers_;
    std::vector<std::string> requested_;
    ScriptedHttpServer server_;  // last: it answers from the pages above
};

}  // namespace qf::testing
