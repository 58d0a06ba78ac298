#pragma once
// The installation's one key pair (the empty subtype): loaded from the keychain or made anew, and
// the app identity derived from it. Thread-safe: loads run under the manager's lock, so two first
// loads make one pair.
#include <optional>
#include <string>

#include "instance_id/key_pair_store.h"
#include "platform/foundation/thread_annotations.h"

class VIZInstanceIDKeyPairManager {
 public:
  // The held pair; else the stored pair with its creation time; else a new one.
  platform::Result<VIZInstanceIDKeyPair> loadKeyPair();
  // The pair a load left in memory, if any: answers at once, without the keychain and without
  // waiting for a load running meanwhile.
  std::optional<VIZInstanceIDKeyPair> heldKeyPair() const;
  // The identity of the loaded pair; 7 when it comes out empty.
  platform::Result<std::string> appIdentity();
  // Deletes the stored pair and drops the held one.
  bool deleteKeyPair(std::optional<platform::Error>* error = nullptr);
  bool deleteKeyPairCreationTimePlist(std::optional<platform::Error>* error = nullptr);
  // Whether the keychain holds a pair; when it does not, the creation-time list goes too.
  bool hasCachedKeyPairs();

 private:
  void hold(std::optional<VIZInstanceIDKeyPair> keyPair);

  platform::Mutex mutex_;  // taken before heldMutex_
  VIZInstanceIDKeyPairStore keyPairStore_ VKR_GUARDED_BY(mutex_);
  mutable platform::Mutex heldMutex_;
  std::optional<VIZInstanceIDKeyPair> keyPair_ VKR_GUARDED_BY(heldMutex_);
};
