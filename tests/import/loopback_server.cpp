#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace qf::testing {

LoopbackServer::LoopbackServer()
    : server_([this](const ScriptedHttpServer::Request& request, ScriptedHttpServer::Connection& connection) {
          Page page{404, "text/html", "<html><body><p>Not found</p></body></html>"};
          ScriptedHttpServer::Handler handler;
          {
              std::lock_guard lock(mutex_);
              requested_.push_back(request.path);
              if (auto it = pages_.find(request.path); it != pages_.end()) page = it->second;
              if (auto it = handlers_.find(request.path); it != handlers_.end()) handler = it->second;
          }
          if (handler) return handler(request, connection);
          connection.send(ScriptedHttpServer::response(page.status, page.contentType, page.body));
      }) {}

void LoopbackServer::page(const std::string& path, std::string body, int status, std::string contentType) {
    std::lock_guard lock(mutex_);
    pages_[path] = Page{status, std::move(contentType), std::move(body)};
}

void LoopbackServer::handle(const std::string& path, ScriptedHttpServer::Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[path] = std::move(handler);
}

std::vector<std::string> LoopbackServer::requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

int LoopbackServer::closedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a loopback port");
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);  // bound but never listening: connections are refused
    return ntohs(address.sin_port);
}

}  // namespace qf::testing
