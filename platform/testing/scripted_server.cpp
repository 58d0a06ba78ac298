#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/foundation/thread_annotations.h"
#include "platform/testing/http_server.h"

namespace platform::testing {

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listenFd_, 64) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::fprintf(stderr, "scripted server: cannot listen on 127.0.0.1\n");
    std::abort();
  }
  port_ = ntohs(address.sin_port);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    platform::MutexLock lock(mutex_);
    stopping_ = true;
    // Wakes scripts blocked in a read; each thread closes its own descriptor.
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
  }
  stopped_.notify_all();
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(wakeFd_, &one, sizeof(one));
  acceptThread_.join();
  for (std::thread& thread : threads_) thread.join();
  ::close(listenFd_);
  ::close(wakeFd_);
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void ScriptedServer::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    platform::MutexLock lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    ++accepted_;
    openFds_.push_back(fd);
    threads_.emplace_back([this, fd] { serve(fd); });
  }
}

void ScriptedServer::serve(int fd) {
  Connection connection(*this, fd);
  script_(connection);
  platform::MutexLock lock(mutex_);
  openFds_.erase(std::find(openFds_.begin(), openFds_.end(), fd));
  ::close(fd);
}

std::string ScriptedServer::Connection::readRequest() {
  std::string received;
  char buffer[4096];
  size_t wanted = std::string::npos;
  for (;;) {
    if (wanted == std::string::npos) {
      const size_t headEnd = received.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        std::string head = received.substr(0, headEnd);
        std::transform(head.begin(), head.end(), head.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        size_t bodyLength = 0;
        const size_t field = head.find("\r\ncontent-length:");
        if (field != std::string::npos) {
          bodyLength = std::strtoul(head.c_str() + field + 17, nullptr, 10);
        }
        wanted = headEnd + 4 + bodyLength;
      }
    }
    if (received.size() >= wanted) return received;
    const ssize_t count = ::recv(fd_, buffer, sizeof(buffer), 0);
    if (count <= 0) return received;
    received.append(buffer, static_cast<size_t>(count));
  }
}

void ScriptedServer::Connection::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (count <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(count));
  }
}

void ScriptedServer::Connection::hold() {
  MutexLock lock(server_.mutex_);
  while (!server_.stopping_) lock.wait(server_.stopped_);
}

}  // namespace platform::testing
