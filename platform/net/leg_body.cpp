#include "platform/net/leg_body.h"

#include <curl/curl.h>

#include <cstring>

namespace platform::net {

void LegBody::useData(const Bytes& data) {
  clear();
  kind_ = Kind::Data;
  data_ = &data;
  length_ = static_cast<int64_t>(data.size());
}

bool LegBody::useFile(const std::filesystem::path& path) {
  clear();
  kind_ = Kind::File;
  file_.reset(std::fopen(path.c_str(), "rb"));
  std::error_code failed;
  const auto size = std::filesystem::file_size(path, failed);
  if (!file_ || failed) return false;
  length_ = static_cast<int64_t>(size);
  return true;
}

void LegBody::useStream(std::shared_ptr<InputStream> stream) {
  clear();
  kind_ = Kind::Stream;
  stream_ = std::move(stream);
  length_ = stream_->length();
}

size_t LegBody::read(char* buffer, size_t capacity, Outcome& outcome,
                     std::optional<Error>& failure) {
  outcome = Outcome::Bytes;
  switch (kind_) {
    case Kind::None:
      return 0;
    case Kind::Data: {
      const size_t n = std::min(capacity, data_->size() - offset_);
      std::memcpy(buffer, data_->data() + offset_, n);
      offset_ += n;
      return n;
    }
    case Kind::File: {
      const size_t n = std::fread(buffer, 1, capacity, file_.get());
      if (n == 0 && std::ferror(file_.get())) outcome = Outcome::Abort;
      return n;
    }
    case Kind::Stream: {
      const int64_t n = stream_->read(reinterpret_cast<uint8_t*>(buffer), capacity);
      if (n == InputStream::kWouldBlock) {
        outcome = Outcome::Pause;
        return 0;
      }
      if (n < 0) {
        outcome = Outcome::Abort;
        failure = stream_->streamError();
        return 0;
      }
      return static_cast<size_t>(n);
    }
  }
  outcome = Outcome::Abort;
  return 0;
}

int LegBody::seek(int64_t offset, int origin) {
  if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
  switch (kind_) {
    case Kind::Data:
      if (static_cast<size_t>(offset) > data_->size()) return CURL_SEEKFUNC_FAIL;
      offset_ = static_cast<size_t>(offset);
      return CURL_SEEKFUNC_OK;
    case Kind::File:
      return std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) == 0 ? CURL_SEEKFUNC_OK
                                                                               : CURL_SEEKFUNC_FAIL;
    case Kind::Stream:
      return offset == 0 && stream_->rewind() ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_CANTSEEK;
    case Kind::None:
      break;
  }
  return CURL_SEEKFUNC_CANTSEEK;
}

}  // namespace platform::net
