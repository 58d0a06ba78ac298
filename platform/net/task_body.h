#pragma once

// Internal to URL loading: the body a task was made with.

#include <filesystem>

#include "platform/net/url_session.h"

namespace platform::net {

struct URLSessionTask::Body {
  enum class Kind { None, Data, File, Stream, ResumeData };
  Kind kind = Kind::None;
  Bytes data;
  std::filesystem::path file;
};

}  // namespace platform::net
