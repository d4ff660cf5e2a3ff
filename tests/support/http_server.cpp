#include "http_server.h"

#include <algorithm>
#include <cctype>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <stdexcept>

namespace qf::testing {

namespace {

// The few socket calls that differ between POSIX and Winsock.
#ifdef _WIN32
using Native = SOCKET;
struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
int asFd(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }
int openSocket() {
    static const Winsock started;
    return asFd(::socket(AF_INET, SOCK_STREAM, 0));
}
int acceptOn(int listener) { return asFd(::accept(static_cast<SOCKET>(listener), nullptr, nullptr)); }
long long sendSome(int fd, std::string_view bytes) {
    return ::send(static_cast<SOCKET>(fd), bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20)),
                  0);
}
long long receiveSome(int fd, char* buffer, std::size_t size) {
    return ::recv(static_cast<SOCKET>(fd), buffer, static_cast<int>(size), 0);
}
int pollOne(int fd, short& revents, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(fd), POLLIN, 0};
    const int rc = WSAPoll(&p, 1, ms);
    revents = p.revents;
    return rc;
}
void closeSocket(int fd) { ::closesocket(static_cast<SOCKET>(fd)); }
void shutdownSocket(int fd) { ::shutdown(static_cast<SOCKET>(fd), SD_BOTH); }
template <typename T>
void setOption(int fd, int level, int name, const T& value) {
    ::setsockopt(static_cast<SOCKET>(fd), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}
#else
using Native = int;
int openSocket() { return ::socket(AF_INET, SOCK_STREAM, 0); }
int acceptOn(int listener) { return ::accept(listener, nullptr, nullptr); }
long long sendSome(int fd, std::string_view bytes) { return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
long long receiveSome(int fd, char* buffer, std::size_t size) { return ::recv(fd, buffer, size, 0); }
int pollOne(int fd, short& revents, int ms) {
    pollfd p{fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, ms);
    revents = p.revents;
    return rc;
}
void closeSocket(int fd) { ::close(fd); }
void shutdownSocket(int fd) { ::shutdown(fd, SHUT_RDWR); }
template <typename T>
void setOption(int fd, int level, int name, const T& value) {
    ::setsockopt(fd, level, name, &value, sizeof value);
}
#endif
Native native(int fd) { return static_cast<Native>(fd); }

}  // namespace

bool ScriptedHttpServer::Connection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const long long n = sendSome(fd_, bytes);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void ScriptedHttpServer::Connection::reset() {
    setOption(fd_, SOL_SOCKET, SO_LINGER, linger{1, 0});
    reset_ = true;
}

ScriptedHttpServer::ScriptedHttpServer(Handler handler, std::string host)
    : handler_(std::move(handler)), host_(std::move(host)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (inet_pton(AF_INET, host_.c_str(), &addr.sin_addr) != 1 || (ntohl(addr.sin_addr.s_addr) >> 24) != 127)
        throw std::runtime_error("loopback server: " + host_ + " is not a loopback address");
    listener_ = openSocket();
    addr.sin_port = 0;
    if (listener_ < 0 || bind(native(listener_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(native(listener_), 64) != 0)
        throw std::runtime_error("loopback server: cannot listen");
    socklen_t len = sizeof addr;
    getsockname(native(listener_), reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int fd : openSockets_) shutdownSocket(fd);
    }
    wake_.notify_all();
    acceptor_.join();
    for (Worker& w : workers_) w.thread.join();
    closeSocket(listener_);
}

std::string ScriptedHttpServer::Request::header(std::string_view name) const {
    for (std::size_t start = head.find("\r\n"); start != std::string::npos;) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string_view line =
            std::string_view(head).substr(start, end == std::string::npos ? head.size() - start : end - start);
        const std::size_t colon = line.find(':');
        if (colon == name.size() && std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            })) {
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            return value == std::string_view::npos ? std::string() : std::string(line.substr(value));
        }
        start = end;
    }
    return {};
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
        short revents = 0;
        if (pollOne(listener_, revents, 50) <= 0) continue;
        int fd = acceptOn(listener_);
        if (fd < 0) continue;
        setOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);  // replies written in pieces go out at once
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
            short revents = 0;
            if (stopping_ || pollOne(fd, revents, 50) < 0) {
                open = false;
                break;
            }
            if (!(revents & (POLLIN | POLLHUP))) continue;
            char chunk[4096];
            const long long n = receiveSome(fd, chunk, sizeof chunk);
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
    closeSocket(fd);
}

}  // namespace qf::testing
