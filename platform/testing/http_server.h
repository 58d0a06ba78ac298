#pragma once

// Real servers on the loopback interface for tests of code that talks to servers: a plain HTTP
// server, an HTTPS server with a self-signed certificate made at run time, and a scripted TCP
// server for peers that misbehave. Each binds 127.0.0.1 on a port of its own and stops when it
// is destroyed.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/foundation/thread_annotations.h"

namespace platform::testing {

// An HTTP server (cpp-httplib) on 127.0.0.1. Add handlers through routes() before start().
// Each connection carries one request, so the server stops quickly; a benchmark that wants
// connections kept alive sets routes().set_keep_alive_max_count().
class HttpServer {
 public:
  HttpServer();
  virtual ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  httplib::Server& routes() { return *server_; }
  // Serves on a thread of its own; answers once the server accepts connections.
  void start();

  uint16_t port() const { return port_; }
  // "<scheme>://127.0.0.1:<port>"
  std::string baseURL() const;
  // The base URL followed by the path ("/a?b=1").
  std::string url(std::string_view path) const;

 protected:
  HttpServer(std::unique_ptr<httplib::Server> server, std::string scheme);

 private:
  std::unique_ptr<httplib::Server> server_;
  std::string scheme_;
  uint16_t port_ = 0;
  std::thread thread_;
};

// An HTTPS server whose certificate (self-signed, for 127.0.0.1 and localhost, valid for a day)
// is made with OpenSSL when the first one starts; every HTTPS server of the process shares it.
class HttpsServer : public HttpServer {
 public:
  HttpsServer();
  // The certificate in PEM, for clients that choose to trust it.
  static const std::string& certificatePEM();
};

// A TCP server on 127.0.0.1 that runs a script on each connection, on a thread of its own, then
// closes it: for garbage status lines, bodies cut off mid-way and servers that never answer.
class ScriptedServer {
 public:
  class Connection {
   public:
    // The request head and body (by Content-Length) as received; what came when the peer closed.
    std::string readRequest();
    void write(std::string_view bytes);
    // Keeps the connection open without answering until the server stops.
    void hold();
    // The connected socket, for scripts that speak another protocol over it.
    int fd() const { return fd_; }

   private:
    friend class ScriptedServer;
    Connection(ScriptedServer& server, int fd) : server_(server), fd_(fd) {}
    ScriptedServer& server_;
    int fd_;
  };
  using Script = std::function<void(Connection&)>;

  explicit ScriptedServer(Script script);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t port() const { return port_; }
  std::string url(std::string_view path) const;
  // Connections accepted so far.
  int connections() const { return accepted_.load(); }

 private:
  void acceptLoop();
  void serve(int fd);

  Script script_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> accepted_{0};
  platform::Mutex mutex_;
  std::condition_variable stopped_;
  bool stopping_ VKR_GUARDED_BY(mutex_) = false;
  std::vector<int> openFds_ VKR_GUARDED_BY(mutex_);
  std::vector<std::thread> threads_ VKR_GUARDED_BY(mutex_);
  std::thread acceptThread_;
};

}  // namespace platform::testing
