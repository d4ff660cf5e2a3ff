#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace qf::testing {

bool ScriptedHttpServer::Connection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void ScriptedHttpServer::Connection::reset() {
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    reset_ = true;
}

ScriptedHttpServer::ScriptedHttpServer(Handler handler, std::string host)
    : handler_(std::move(handler)), host_(std::move(host)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (inet_pton(AF_INET, host_.c_str(), &addr.sin_addr) != 1 || (ntohl(addr.sin_addr.s_addr) >> 24) != 127)
        throw std::runtime_error("loopback server: " + host_ + " is not a loopback address");
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    addr.sin_port = 0;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 64) != 0)
        throw std::runtime_error("loopback server: cannot listen");
    socklen_t len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int fd : openSockets_) shutdown(fd, SHUT_RDWR);
    }
    wake_.notify_all();
    acceptor_.join();
    for (Worker& w : workers_) w.thread.join();
    close(listener_);
}

std::string ScriptedHttpServer::url(const std::string& path) const {
    return "http://" + host_ + ":" + std::to_string(port_) + path;
}

std::string ScriptedHttpServer::response(int status, std::string_view contentType, std::string_view body,
                                         std::string_view extraHeaders, bool keepAlive) {
    std::string r = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    if (!contentType.empty()) r += "Content-Type: " + std::string(contentType) + "\r\n";
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (!keepAlive) r += "Connection: close\r\n";
    r += extraHeaders;
    r += "\r\n";
    r += body;
    return r;
}

bool ScriptedHttpServer::pause(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, time, [this] { return stopping_.load(); });
}

void ScriptedHttpServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        int on = 1;  // replies written in pieces go out at once
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++connections_;
        std::lock_guard lock(mutex_);
        openSockets_.push_back(fd);
        std::erase_if(workers_, [](Worker& w) {
            if (!w.done->load()) return false;
            w.thread.join();
            return true;
        });
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back({std::thread([this, fd, done] {
                                serve(fd);
                                *done = true;
                            }),
                            done});
    }
}

void ScriptedHttpServer::serve(int fd) {
    std::string buffer;
    bool open = true;
    while (open && !stopping_) {
        // Read one request head.
        std::size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            pollfd p{fd, POLLIN, 0};
            if (stopping_ || poll(&p, 1, 50) < 0) {
                open = false;
                break;
            }
            if (!(p.revents & (POLLIN | POLLHUP))) continue;
            char chunk[4096];
            ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                open = false;
                break;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        if (!open) break;
        Request request;
        request.head = buffer.substr(0, end);
        buffer.erase(0, end + 4);
        std::size_t sp1 = request.head.find(' ');
        std::size_t sp2 = request.head.find(' ', sp1 + 1);
        if (sp1 != std::string::npos && sp2 != std::string::npos)
            request.path = request.head.substr(sp1 + 1, sp2 - sp1 - 1);
        ++requests_;
        Connection connection(*this, fd);
        handler_(request, connection);
        open = connection.keepAlive_ && !connection.reset_;
    }
    {
        std::lock_guard lock(mutex_);
        openSockets_.erase(std::find(openSockets_.begin(), openSockets_.end(), fd));
    }
    close(fd);
}

}  // namespace qf::testing
