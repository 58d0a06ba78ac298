// Producing the bytes of one chunk from the upload's body source. Every range is checked against
// the source first: nothing is read outside the body.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/foundation/log.h"
#include "platform/storage/file_manager.h"
#include "toolbox/upload/session_upload_fetcher.h"

using platform::Bytes;
using platform::Error;

namespace {

Error chunkUnavailable(const std::string& description) {
  return Error::withDescription(kZTMSessionFetcherErrorDomain,
                                kZTMSessionFetcherErrorUploadChunkUnavailable, description);
}

bool rangeFits(int64_t offset, int64_t length, int64_t size) {
  return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

// Reads exactly `length` bytes at `offset` of an open descriptor.
platform::Result<Bytes> readRange(int fd, int64_t offset, int64_t length) {
  Bytes bytes(static_cast<size_t>(length));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = pread(fd, bytes.data() + done, bytes.size() - done,
                              static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return chunkUnavailable(platform::format("read failed: %s", std::strerror(errno)));
    if (got == 0) return chunkUnavailable("the file ended before the chunk did");
    done += static_cast<size_t>(got);
  }
  return bytes;
}

}  // namespace

void ZSDK_ZTMSessionUploadFetcher::generateChunkSubdata(int64_t offset, int64_t length,
                                                        DataProviderResponse response) {
  // Whatever the source, the answer comes once, on the main queue.
  auto answered = std::make_shared<std::atomic<bool>>(false);
  DataProviderResponse answer = [answered, response = std::move(response)](
                                    std::optional<Bytes> data, std::optional<Error> error) {
    if (answered->exchange(true)) return;
    platform::mainQueue()->async(
        [response, data = std::move(data), error = std::move(error)]() mutable {
          response(std::move(data), std::move(error));
        });
  };
  DataProvider provider;
  std::shared_ptr<const Bytes> data;
  std::optional<URL> file;
  FileHandle handle;
  {
    platform::MutexLock lock(mutex_);
    provider = uploadDataProvider_;
    data = uploadData_;
    file = uploadFileURL_;
    handle = uploadFileHandle_;
  }
  if (provider) return provider(offset, length, std::move(answer));
  if (data) {
    const auto size = static_cast<int64_t>(data->size());
    if (!rangeFits(offset, length, size)) {
      return answer(std::nullopt,
                    chunkUnavailable(platform::format(
                        "Range invalid for upload data.  offset: %lld\tlength: %lld\tdataLength: "
                        "%lld",
                        static_cast<long long>(offset), static_cast<long long>(length),
                        static_cast<long long>(size))));
    }
    if (offset == 0 && length == size) return answer(*data, std::nullopt);
    return answer(Bytes(data->begin() + offset, data->begin() + offset + length), std::nullopt);
  }
  if (file) {
    platform::globalQueue()->async([file = *file, offset, length, answer] {
      const std::string path = file.filePath().value_or("");
      const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        return answer(std::nullopt, platform::FileManager::errorForErrno(
                                        errno, path, platform::FileManager::Access::Read));
      }
      struct stat info {};
      platform::Result<Bytes> bytes =
          fstat(fd, &info) == 0 && rangeFits(offset, length, info.st_size)
              ? readRange(fd, offset, length)
              : platform::Result<Bytes>(chunkUnavailable("Range invalid for upload file"));
      close(fd);
      if (!bytes.ok()) return answer(std::nullopt, bytes.error());
      answer(std::move(*bytes), std::nullopt);
    });
    return;
  }
  if (handle) {
    platform::globalQueue()->async([handle, offset, length, answer] {
      const int fd = fileno(handle.get());
      struct stat info {};
      if (fd < 0 || fstat(fd, &info) != 0 || !rangeFits(offset, length, info.st_size)) {
        return answer(std::nullopt, chunkUnavailable("Range invalid for upload file handle"));
      }
      platform::Result<Bytes> bytes = readRange(fd, offset, length);
      if (!bytes.ok()) return answer(std::nullopt, bytes.error());
      answer(std::move(*bytes), std::nullopt);
    });
    return;
  }
  answer(std::nullopt, chunkUnavailable("The upload has no body source"));
}
