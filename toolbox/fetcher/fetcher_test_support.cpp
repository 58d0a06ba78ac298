#include "toolbox/fetcher/fetcher_test_support.h"

namespace fetcher_test {

Server::Server() {
  httplib::Server& routes = http_.routes();
  routes.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    platform::MutexLock lock(mutex_);
    ++hits_[request.path];
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto echo = [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.method + " " + request.body, "application/octet-stream");
    response.set_header("X-Auth", request.get_header_value("Authorization"));
    response.set_header("X-Cookie", request.get_header_value("Cookie"));
    response.set_header("X-Custom", request.get_header_value("X-Custom"));
  };
  routes.Get("/echo", echo);
  routes.Post("/echo", echo);
  routes.Put("/echo", echo);
  routes.Get("/status/(\\d+)", [](const httplib::Request& request, httplib::Response& response) {
    response.status = std::stoi(request.matches[1]);
    if (response.status != 204)
      response.set_content("body of " + std::string(request.matches[1]), "text/plain");
    if (request.has_param("retry-after")) {
      response.set_header("Retry-After", request.get_param_value("retry-after"));
    }
  });
  routes.Post("/status/(\\d+)", [](const httplib::Request& request, httplib::Response& response) {
    response.status = std::stoi(request.matches[1]);
    response.set_content("posted", "text/plain");
  });
  routes.Get("/redirect", [](const httplib::Request& request, httplib::Response& response) {
    response.status = 302;
    response.set_header("Location", request.get_param_value("to"));
    response.set_content("moved", "text/plain");
  });
  routes.Get("/set-cookie", [](const httplib::Request& request, httplib::Response& response) {
    response.set_header("Set-Cookie", request.get_param_value("c"));
    response.set_content("ok", "text/plain");
  });
  routes.Get("/bytes", [](const httplib::Request& request, httplib::Response& response) {
    const size_t size = std::stoul(request.get_param_value("n"));
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 26);
    response.set_content(content, "application/octet-stream");
  });
  http_.start();
}

int Server::hits(const std::string& path) const {
  platform::MutexLock lock(mutex_);
  auto it = hits_.find(path);
  return it == hits_.end() ? 0 : it->second;
}

}  // namespace fetcher_test
