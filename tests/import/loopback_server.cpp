#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qf::testing {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A socket bound to a free port on 127.0.0.1; returns the port.
int bindFreePort(int socketFd) {
    sockaddr_in address = loopback(0);
    if (bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a loopback port");
    socklen_t length = sizeof address;
    getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

LoopbackServer::LoopbackServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("cannot open a socket");
    port_ = bindFreePort(listener_);
    listen(listener_, 64);
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

void LoopbackServer::page(const std::string& path, std::string body, int status, std::string contentType) {
    std::lock_guard lock(mutex_);
    pages_[path] = Page{status, std::move(contentType), std::move(body)};
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int LoopbackServer::closedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int port = bindFreePort(fd);
    close(fd);  // bound but never listening: connections are refused
    return port;
}

void LoopbackServer::serve() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        answer(client);
        close(client);
    }
}

void LoopbackServer::answer(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd p{client, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) return;
        const ssize_t n = read(client, buffer, sizeof buffer);
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    ++requests_;
    const auto pathStart = request.find(' ') + 1;
    const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);

    Page page{404, "text/html", "<html><body><p>Not found</p></body></html>"};
    {
        std::lock_guard lock(mutex_);
        if (auto it = pages_.find(path); it != pages_.end()) page = it->second;
    }
    std::string response = "HTTP/1.1 " + std::to_string(page.status) + " " + reason(page.status) +
                           "\r\nContent-Type: " + page.contentType +
                           "\r\nContent-Length: " + std::to_string(page.body.size()) +
                           "\r\nConnection: close\r\n\r\n" + page.body;
    std::size_t sent = 0;
    while (sent < response.size()) {
        const ssize_t n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace qf::testing
