#include "instance_id/key_pair_manager.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"

platform::Result<VIZInstanceIDKeyPair> VIZInstanceIDKeyPairManager::loadKeyPair() {
  platform::MutexLock lock(mutex_);
  if (std::optional<VIZInstanceIDKeyPair> held = heldKeyPair()) return *held;
  if (platform::Result<VIZInstanceIDKeyPair> cached =
          keyPairStore_.validCachedKeyPairWithSubtype("");
      cached.ok()) {
    hold(*cached);
    return cached;
  }
  platform::Result<VIZInstanceIDKeyPair> made =
      keyPairStore_.generateAndSaveKeyWithSubtype("", VIZInstanceIDCurrentTimestampInSeconds());
  if (made.ok()) hold(*made);
  return made;
}

std::optional<VIZInstanceIDKeyPair> VIZInstanceIDKeyPairManager::heldKeyPair() const {
  platform::MutexLock lock(heldMutex_);
  if (keyPair_ && keyPair_->isValid()) return keyPair_;
  return std::nullopt;
}

void VIZInstanceIDKeyPairManager::hold(std::optional<VIZInstanceIDKeyPair> keyPair) {
  platform::MutexLock lock(heldMutex_);
  keyPair_ = std::move(keyPair);
}

platform::Result<std::string> VIZInstanceIDKeyPairManager::appIdentity() {
  platform::Result<VIZInstanceIDKeyPair> keyPair = loadKeyPair();
  if (!keyPair.ok()) return keyPair.error();
  std::optional<std::string> identity = VIZInstanceIDKeyPair::appIdentityWithKeyPair(*keyPair);
  if (!identity || identity->empty()) return VIZInstanceIDError(kVIZInstanceIDErrorInvalidResponse);
  return *identity;
}

bool VIZInstanceIDKeyPairManager::deleteKeyPair(std::optional<platform::Error>* error) {
  platform::MutexLock lock(mutex_);
  std::optional<platform::Error> deleteError;
  bool deleted = keyPairStore_.deleteSavedKeyPairWithSubtype("", &deleteError);
  if (!deleted) {
    VIZ_IID_LOG_ERROR("Unable to delete keypair from store %s",
                      deleteError ? deleteError->description().c_str() : "");
  }
  if (error) *error = deleteError;
  hold(std::nullopt);
  return deleted;
}

bool VIZInstanceIDKeyPairManager::deleteKeyPairCreationTimePlist(
    std::optional<platform::Error>* error) {
  platform::MutexLock lock(mutex_);
  return keyPairStore_.removeKeyPairCreationTimePlist(error);
}

bool VIZInstanceIDKeyPairManager::hasCachedKeyPairs() {
  platform::MutexLock lock(mutex_);
  if (keyPairStore_.cachedKeyPairWithSubtype("").ok()) return true;
  keyPairStore_.removeKeyPairCreationTimePlist(nullptr);
  return false;
}
