#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/foundation/thread_annotations.h"
#include "toolbox/logger/log_roles.h"

// Writes each line and a line feed to a file descriptor, one line at a time.
class ZTMFileHandleLogWriter : public ZTMLogWriter {
 public:
  // The process's standard output and standard error (shared; never closed).
  static std::shared_ptr<ZTMFileHandleLogWriter> standardOutput();
  static std::shared_ptr<ZTMFileHandleLogWriter> standardError();
  // A file opened to append (created with the permission mode when missing), closed when the
  // writer goes; null when it can't be opened.
  static std::shared_ptr<ZTMFileHandleLogWriter> fileHandleForLoggingAtPath(
      const std::filesystem::path& path, mode_t mode);

  ~ZTMFileHandleLogWriter() override;
  ZTMFileHandleLogWriter(const ZTMFileHandleLogWriter&) = delete;
  ZTMFileHandleLogWriter& operator=(const ZTMFileHandleLogWriter&) = delete;

  // The level is ignored.
  void logMessage(const std::string& message, ZTMLoggerLevel level) override;

 private:
  ZTMFileHandleLogWriter(int fd, bool owned) : fd_(fd), owned_(owned) {}

  platform::Mutex mutex_;
  const int fd_;
  const bool owned_;
};

// Hands each line to every writer of the list, in order; empty entries are skipped.
class ZTMArrayCompositeLogWriter : public ZTMLogWriter {
 public:
  explicit ZTMArrayCompositeLogWriter(std::vector<std::shared_ptr<ZTMLogWriter>> writers)
      : writers_(std::move(writers)) {}

  void logMessage(const std::string& message, ZTMLoggerLevel level) override;

 private:
  platform::Mutex mutex_;
  const std::vector<std::shared_ptr<ZTMLogWriter>> writers_;
};
