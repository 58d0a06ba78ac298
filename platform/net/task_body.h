#pragma once

// Internal to URL loading: the body a task was made with, and what the engine is given to run a
// task.

#include <filesystem>
#include <memory>

#include "platform/net/task_record.h"
#include "platform/net/url_session.h"

namespace platform::net {

struct TaskBody {
  enum class Kind { None, Data, File, Stream, ResumeData };
  Kind kind = Kind::None;
  std::shared_ptr<const Bytes> data;
  std::filesystem::path file;
};

struct TaskRun {
  TaskPtr task;
  std::shared_ptr<URLSession> session;
  std::shared_ptr<const TaskBody> body;
  std::shared_ptr<TaskRecord> record;
  // The request as given (shared, so a body held in memory is not copied).
  std::shared_ptr<const URLRequest> request;
};

}  // namespace platform::net
