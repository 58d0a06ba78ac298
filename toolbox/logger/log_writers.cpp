#include "toolbox/logger/log_writers.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

std::shared_ptr<ZTMFileHandleLogWriter> ZTMFileHandleLogWriter::standardOutput() {
  static const auto writer =
      std::shared_ptr<ZTMFileHandleLogWriter>(new ZTMFileHandleLogWriter(STDOUT_FILENO, false));
  return writer;
}

std::shared_ptr<ZTMFileHandleLogWriter> ZTMFileHandleLogWriter::standardError() {
  static const auto writer =
      std::shared_ptr<ZTMFileHandleLogWriter>(new ZTMFileHandleLogWriter(STDERR_FILENO, false));
  return writer;
}

std::shared_ptr<ZTMFileHandleLogWriter> ZTMFileHandleLogWriter::fileHandleForLoggingAtPath(
    const std::filesystem::path& path, mode_t mode) {
  if (path.empty()) return nullptr;
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, mode);
  if (fd < 0) return nullptr;
  return std::shared_ptr<ZTMFileHandleLogWriter>(new ZTMFileHandleLogWriter(fd, true));
}

ZTMFileHandleLogWriter::~ZTMFileHandleLogWriter() {
  if (owned_) close(fd_);
}

void ZTMFileHandleLogWriter::logMessage(const std::string& message, ZTMLoggerLevel /*level*/) {
  const std::string line = message + "\n";
  platform::MutexLock lock(mutex_);
  // One line is written whole, however the descriptor splits it; a failing write drops the rest.
  for (size_t written = 0; written < line.size();) {
    const ssize_t n = write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    written += static_cast<size_t>(n);
  }
}

void ZTMArrayCompositeLogWriter::logMessage(const std::string& message, ZTMLoggerLevel level) {
  platform::MutexLock lock(mutex_);
  for (const auto& writer : writers_) {
    if (writer) writer->logMessage(message, level);
  }
}
