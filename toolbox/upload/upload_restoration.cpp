// Uploads whose chunk fetchers run in background sessions, and their rebuilding at start-up
// from the metadata each chunk fetcher keeps with its session.

#include <limits>
#include <set>

#include "platform/foundation/class_registry.h"
#include "toolbox/upload/session_upload_fetcher.h"
#include "toolbox/upload/upload_background_registry.h"

using Ptr = ZSDK_ZTMSessionUploadFetcher::Ptr;

ZSDK_ZTMSessionUploadFetcher::Ptr
ZSDK_ZTMSessionUploadFetcher::uploadFetcherForSessionIdentifierMetadata(
    const platform::Value& metadata) {
  const std::optional<int64_t> length = metadata["_upFileLen"].asInteger();
  const std::string fileText = metadata["_upFileURL"].stringOr("");
  const int64_t offset = metadata["_upOffset"].intOr(0);
  platform::Result<URL> file = URL::parse(fileText);
  if (!length || *length < 0 || !file.ok() || !file->isFileURL()) return nullptr;
  if (offset < 0 || offset > *length) return nullptr;
  std::optional<URL> location;
  if (const std::string* text = metadata["_upLocURL"].stringIf()) {
    if (platform::Result<URL> parsed = URL::parse(*text); parsed.ok()) location = *parsed;
  }
  int64_t chunkSize = metadata["_upChSize"].intOr(0);
  if (chunkSize < 1) chunkSize = std::numeric_limits<int64_t>::max();
  Ptr fetcher =
      uploadFetcherWithLocation(location, metadata["_uploadMIME"].stringOr(""), chunkSize);
  fetcher->setUploadFileLength(*length);
  fetcher->setUploadFileURL(*file);
  fetcher->setSessionUserInfo(metadata);
  fetcher->setUseBackgroundSession(true);
  {
    platform::MutexLock lock(fetcher->mutex_);
    fetcher->currentOffset_ = offset;
  }
  fetcher->setAllowedInsecureSchemes({"http"});
  return fetcher;
}

std::vector<Ptr> ZSDK_ZTMSessionUploadFetcher::uploadFetchersForBackgroundSessions() {
  std::vector<Ptr> uploads;
  std::set<std::string> known;
  for (const Ptr& upload : upload_background_registry::live()) {
    ZSDK_ZTMSessionFetcher::Ptr chunk = upload->chunkFetcher();
    if (!chunk || chunk->sessionIdentifier().empty()) continue;
    known.insert(chunk->sessionIdentifier());
    uploads.push_back(upload);
  }
  for (const ZSDK_ZTMSessionFetcher::Ptr& restored : fetchersForBackgroundSessions()) {
    const std::string identifier = restored->sessionIdentifier();
    if (identifier.empty() || known.count(identifier) > 0) continue;
    const std::optional<platform::Value> metadata = restored->sessionIdentifierMetadata();
    if (!metadata || !(*metadata)["_upChunk"].boolOr(false)) continue;
    Ptr upload = uploadFetcherForSessionIdentifierMetadata(*metadata);
    if (!upload) {
      restored->stopFetching();
      continue;
    }
    {
      platform::MutexLock lock(upload->mutex_);
      upload->chunkFetcher_ = restored;
      upload->fetcherInFlight_ = restored;
    }
    upload->attachProgress(restored);
    restored->setCompletionHandler(restored->completionHandlerWithTarget(
        upload, &ZSDK_ZTMSessionUploadFetcher::chunkFetcherFinished));
    known.insert(identifier);
    uploads.push_back(std::move(upload));
  }
  return uploads;
}

ZSDK_ZTMSessionUploadFetcher::Ptr ZSDK_ZTMSessionUploadFetcher::uploadFetcherForSessionIdentifier(
    const std::string& identifier) {
  for (const Ptr& upload : uploadFetchersForBackgroundSessions()) {
    ZSDK_ZTMSessionFetcher::Ptr chunk = upload->chunkFetcher();
    if (chunk && chunk->sessionIdentifier() == identifier) return upload;
  }
  return nullptr;
}

// At start-up, chunk fetchers of the last run find their uploads again before the app's own
// start-up code runs.
PLATFORM_LOAD_HOOK("ZSDK_ZTMSessionUploadFetcher",
                   [] { ZSDK_ZTMSessionUploadFetcher::uploadFetchersForBackgroundSessions(); });
