#pragma once

// The loopback server both fetch benchmarks run against: small bodies that are never compressed,
// connections kept alive, enough threads for 64 at once from each side (a kept-alive connection
// holds its thread).

#include <memory>

#include "platform/testing/http_server.h"

namespace bench {

inline std::unique_ptr<platform::testing::HttpServer> makeFetchServer() {
  auto server = std::make_unique<platform::testing::HttpServer>();
  httplib::Server& routes = server->routes();
  routes.set_keep_alive_timeout(10);
  routes.set_keep_alive_max_count(1000000);
  routes.new_task_queue = [] { return new httplib::ThreadPool(160); };
  routes.Get("/small", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("a small response body", "application/octet-stream");
  });
  server->start();
  return server;
}

}  // namespace bench
