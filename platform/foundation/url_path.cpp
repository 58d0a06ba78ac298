#include "platform/foundation/url_path.h"

namespace platform {

namespace {

void removeLastSegment(std::string& output) {
  size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

}  // namespace

std::string removeDotSegments(std::string_view input) {
  std::string output;
  output.reserve(input.size());
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./") || input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      removeLastSegment(output);
    } else if (input == "/..") {
      input = "/";
      removeLastSegment(output);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      size_t next = input.find('/', 1);
      if (next == std::string_view::npos) next = input.size();
      output.append(input.substr(0, next));
      input.remove_prefix(next);
    }
  }
  return output;
}

}  // namespace platform
