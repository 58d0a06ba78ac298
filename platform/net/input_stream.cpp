#include "platform/net/input_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/foundation/log.h"
#include "platform/net/c_handles.h"

namespace platform::net {

namespace {

class DataInputStream final : public InputStream {
 public:
  explicit DataInputStream(Bytes data) : data_(std::move(data)) {}

  int64_t read(uint8_t* buffer, size_t capacity) override {
    const size_t count = std::min(capacity, data_.size() - position_);
    if (count > 0) std::memcpy(buffer, data_.data() + position_, count);
    position_ += count;
    return static_cast<int64_t>(count);
  }
  bool hasBytesAvailable() const override { return position_ < data_.size(); }
  int64_t length() const override { return static_cast<int64_t>(data_.size()); }
  bool rewind() override {
    position_ = 0;
    return true;
  }

 private:
  Bytes data_;
  size_t position_ = 0;
};

class FileInputStream final : public InputStream {
 public:
  explicit FileInputStream(std::filesystem::path path) : path_(std::move(path)) {}

  void open() override {
    if (file_ != nullptr || error_) return;
    file_.reset(std::fopen(path_.c_str(), "rb"));
    if (!file_) fail(errno);
  }
  void close() override { file_.reset(); }
  int64_t read(uint8_t* buffer, size_t capacity) override {
    if (!file_) return -1;
    const size_t count = std::fread(buffer, 1, capacity, file_.get());
    if (count == 0 && std::ferror(file_.get())) {
      fail(errno);
      return -1;
    }
    atEnd_ = count == 0;
    return static_cast<int64_t>(count);
  }
  bool hasBytesAvailable() const override { return file_ && !atEnd_; }
  std::optional<Error> streamError() const override { return error_; }
  int64_t length() const override {
    std::error_code failed;
    const auto size = std::filesystem::file_size(path_, failed);
    return failed ? -1 : static_cast<int64_t>(size);
  }
  bool rewind() override {
    if (!file_ || std::fseek(file_.get(), 0, SEEK_SET) != 0) return false;
    atEnd_ = false;
    return true;
  }

 private:
  void fail(int code) {
    error_ = Error::withDescription("NSPOSIXErrorDomain", code,
                                    format("%s: %s", path_.c_str(), std::strerror(code)));
  }

  std::filesystem::path path_;
  File file_;
  bool atEnd_ = false;
  std::optional<Error> error_;
};

}  // namespace

std::shared_ptr<InputStream> makeDataInputStream(Bytes data) {
  return std::make_shared<DataInputStream>(std::move(data));
}

std::shared_ptr<InputStream> makeFileInputStream(std::filesystem::path path) {
  return std::make_shared<FileInputStream>(std::move(path));
}

}  // namespace platform::net
