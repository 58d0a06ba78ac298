#include "platform/net/response_head.h"

#include <cctype>

#include "platform/net/ascii.h"

namespace platform::net {

namespace {

constexpr size_t kMaxFieldBytes = 64 * 1024;

std::string_view withoutLineEnding(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// "HTTP/1.1 200 OK", "HTTP/2 404": the status, or -1.
int parseStatusLine(std::string_view line) {
  if (!line.starts_with("HTTP/")) return -1;
  const size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return -1;
  int status = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return -1;
    status = status * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return -1;
  return status < 100 ? -1 : status;
}

}  // namespace

void ResponseHeadParser::reset() {
  status_ = 0;
  headers_ = HTTPHeaderFields();
  setCookies_.clear();
  lastName_.clear();
}

ResponseHeadParser::Line ResponseHeadParser::addLine(std::string_view raw) {
  const std::string_view line = withoutLineEnding(raw);
  if (complete_) return Line::Partial;  // trailers after the body
  if (!inHead_) {
    const int status = parseStatusLine(line);
    if (status < 0) return Line::Malformed;
    reset();
    status_ = status;
    inHead_ = true;
    return Line::Partial;
  }
  if (line.empty()) {
    inHead_ = false;
    // An interim head (100 Continue, 103 Early Hints) precedes the real one.
    complete_ = status_ >= 200;
    return complete_ ? Line::HeadComplete : Line::Partial;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !lastName_.empty()) {
    const std::string_view more = trimBlanks(line);
    if (lastName_ == "set-cookie") {
      setCookies_.back() += ' ';
      setCookies_.back() += more;
    } else if (std::optional<std::string> value = headers_.value(lastName_)) {
      if (value->size() + more.size() < kMaxFieldBytes) {
        headers_.set(lastName_, *value + " " + std::string(more));
      }
    }
    return Line::Partial;
  }
  const size_t colon = line.find(':');
  lastName_.clear();
  if (colon == std::string_view::npos || colon == 0) return Line::Partial;
  const std::string_view name = line.substr(0, colon);
  for (char c : name) {
    if (!isTokenCharacter(c)) return Line::Partial;
  }
  const std::string_view value = trimBlanks(line.substr(colon + 1));
  lastName_ = asciiLowercase(name);
  if (lastName_ == "set-cookie") {
    setCookies_.emplace_back(value);
  } else if (headers_.value(name).value_or("").size() + value.size() < kMaxFieldBytes) {
    headers_.add(name, value);
  }
  return Line::Partial;
}

AuthenticateHeader parseAuthenticateHeader(std::string_view value) {
  AuthenticateHeader header;
  value = trimBlanks(value);
  size_t end = 0;
  while (end < value.size() && isTokenCharacter(value[end])) ++end;
  header.scheme = std::string(value.substr(0, end));
  const std::string lowered = asciiLowercase(value);
  const size_t realm = lowered.find("realm=");
  if (realm != std::string::npos) {
    std::string_view rest = value.substr(realm + 6);
    if (!rest.empty() && rest.front() == '"') {
      rest.remove_prefix(1);
      header.realm = std::string(rest.substr(0, rest.find('"')));
    } else {
      header.realm = std::string(trimBlanks(rest.substr(0, rest.find(','))));
    }
  }
  return header;
}

}  // namespace platform::net
