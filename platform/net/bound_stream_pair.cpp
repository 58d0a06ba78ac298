#include "platform/net/bound_stream_pair.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <span>
#include <vector>

#include "platform/foundation/thread_annotations.h"

namespace platform::net {
namespace {

inline constexpr const char* kStreamErrorDomain = "NSPOSIXErrorDomain";
inline constexpr int64_t kBrokenPipe = 32;  // EPIPE: the reader went away

// The buffer both ends share.
class Pipe {
 public:
  explicit Pipe(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)), ring_(capacity_) {}

  int64_t read(uint8_t* buffer, size_t capacity) {
    MutexLock lock(mutex_);
    if (readerClosed_) return -1;
    if (size_ == 0 && lent_.empty()) return writerClosed_ ? 0 : InputStream::kWouldBlock;
    size_t count = std::min(capacity, size_);
    for (size_t done = 0; done < count;) {
      const size_t piece = std::min(count - done, capacity_ - start_);
      std::memcpy(buffer + done, ring_.data() + start_, piece);
      start_ = (start_ + piece) % capacity_;
      done += piece;
    }
    size_ -= count;
    // Past the buffer, straight from the bytes a blocked writer still holds.
    const size_t fromWriter = std::min(capacity - count, lent_.size());
    if (fromWriter > 0) {
      std::memcpy(buffer + count, lent_.data(), fromWriter);
      lent_ = lent_.subspan(fromWriter);
      count += fromWriter;
    }
    // A writer with bytes still lent waits for all of them to go, not for room.
    if (lent_.empty()) roomChanged_.notify_all();
    return static_cast<int64_t>(count);
  }

  bool readable() const {
    MutexLock lock(mutex_);
    return !readerClosed_ && (size_ > 0 || !lent_.empty() || !writerClosed_);
  }

  void setWaker(std::function<void()> waker) {
    MutexLock lock(mutex_);
    waker_ = std::move(waker);
  }

  void closeReader() {
    MutexLock lock(mutex_);
    readerClosed_ = true;
    size_ = 0;
    waker_ = nullptr;
    roomChanged_.notify_all();
  }

  bool writable() const {
    MutexLock lock(mutex_);
    return !readerClosed_ && !writerClosed_;
  }

  // Fills the buffer; while bytes remain, the writer waits as it would for room, and the reader
  // takes them straight from the writer's memory: a large write then reaches the reader without
  // passing through the buffer piece by piece, each piece a wake-up of both threads.
  int64_t write(const uint8_t* bytes, size_t count) {
    std::function<void()> waker;
    size_t taken = 0;
    {
      MutexLock lock(mutex_);
      while (!readerClosed_ && !writerClosed_ && size_ >= capacity_) lock.wait(roomChanged_);
      if (readerClosed_ || writerClosed_) return -1;
      taken = std::min(count, capacity_ - size_);
      for (size_t done = 0; done < taken;) {
        const size_t end = (start_ + size_) % capacity_;
        const size_t piece = std::min(taken - done, capacity_ - end);
        std::memcpy(ring_.data() + end, bytes + done, piece);
        size_ += piece;
        done += piece;
      }
      lent_ = std::span<const uint8_t>(bytes + taken, count - taken);
      // Only a reader that found nothing waits to be woken.
      if (size_ == taken) waker = waker_;
    }
    if (waker) waker();
    MutexLock lock(mutex_);
    while (!lent_.empty() && !readerClosed_ && !writerClosed_) lock.wait(roomChanged_);
    // What the reader has not taken stays the writer's; the stream ends on a closed reader.
    taken = count - std::exchange(lent_, {}).size();
    return taken > 0 || !readerClosed_ ? static_cast<int64_t>(taken) : -1;
  }

  void closeWriter() {
    std::function<void()> waker;
    {
      MutexLock lock(mutex_);
      if (writerClosed_) return;
      writerClosed_ = true;
      waker = waker_;
      roomChanged_.notify_all();
    }
    if (waker) waker();
  }

 private:
  const size_t capacity_;
  mutable Mutex mutex_;
  std::condition_variable roomChanged_;
  // The bytes written and not yet read: size_ of them from start_, wrapping around.
  std::vector<uint8_t> ring_ VKR_GUARDED_BY(mutex_);
  size_t start_ VKR_GUARDED_BY(mutex_) = 0;
  size_t size_ VKR_GUARDED_BY(mutex_) = 0;
  // Bytes of a writer blocked in write() that the reader may take after the buffer's.
  std::span<const uint8_t> lent_ VKR_GUARDED_BY(mutex_);
  bool readerClosed_ VKR_GUARDED_BY(mutex_) = false;
  bool writerClosed_ VKR_GUARDED_BY(mutex_) = false;
  std::function<void()> waker_ VKR_GUARDED_BY(mutex_);
};

class PipeInputStream final : public InputStream {
 public:
  PipeInputStream(std::shared_ptr<Pipe> pipe, int64_t length)
      : pipe_(std::move(pipe)), length_(length) {}
  ~PipeInputStream() override { pipe_->closeReader(); }

  void close() override { pipe_->closeReader(); }
  int64_t read(uint8_t* buffer, size_t capacity) override { return pipe_->read(buffer, capacity); }
  bool hasBytesAvailable() const override { return pipe_->readable(); }
  void setWaker(std::function<void()> waker) override { pipe_->setWaker(std::move(waker)); }
  int64_t length() const override { return length_; }

 private:
  const std::shared_ptr<Pipe> pipe_;
  const int64_t length_;
};

class PipeOutputStream final : public OutputStream {
 public:
  explicit PipeOutputStream(std::shared_ptr<Pipe> pipe) : pipe_(std::move(pipe)) {}
  ~PipeOutputStream() override { pipe_->closeWriter(); }

  bool open() override { return pipe_->writable(); }
  int64_t write(const uint8_t* bytes, size_t count) override {
    const int64_t written = pipe_->write(bytes, count);
    if (written < 0) {
      MutexLock lock(mutex_);
      error_ = Error::withDescription(kStreamErrorDomain, kBrokenPipe, "The stream was closed");
    }
    return written;
  }
  void close() override { pipe_->closeWriter(); }
  std::optional<Error> streamError() const override {
    MutexLock lock(mutex_);
    return error_;
  }

 private:
  const std::shared_ptr<Pipe> pipe_;
  mutable Mutex mutex_;
  std::optional<Error> error_ VKR_GUARDED_BY(mutex_);
};

}  // namespace

BoundStreamPair makeBoundStreamPair(size_t bufferSize, int64_t length) {
  auto pipe = std::make_shared<Pipe>(bufferSize);
  return {std::make_shared<PipeInputStream>(pipe, length),
          std::make_shared<PipeOutputStream>(pipe)};
}

}  // namespace platform::net
