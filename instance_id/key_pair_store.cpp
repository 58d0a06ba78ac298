#include "instance_id/key_pair_store.h"

#include "instance_id/iid_logger.h"
#include "instance_id/iid_utilities.h"

std::string VIZInstanceIDKeyPairStore::publicTagWithSubtype(const std::string& subtype) {
  return "com.zorova.iid-" + subtype + "|P|";
}

std::string VIZInstanceIDKeyPairStore::privateTagWithSubtype(const std::string& subtype) {
  return "com.zorova.iid-" + subtype + "|K|";
}

std::string VIZInstanceIDKeyPairStore::creationTimeKeyWithSubtype(const std::string& subtype) {
  return subtype + "|S|cre";
}

platform::Result<VIZInstanceIDKeyPair> VIZInstanceIDKeyPairStore::generateAndSaveKeyWithSubtype(
    const std::string& subtype, int64_t creationTime) {
  const std::string privateTag = privateTagWithSubtype(subtype);
  const std::string publicTag = publicTagWithSubtype(subtype);
  platform::Result<VIZInstanceIDKeyPair> keyPair =
      VIZInstanceIDKeyPair::generateRSA2048KeyPair(privateTag, publicTag);
  if (!keyPair.ok()) return keyPair;

  platform::Dictionary times = plist_.contentAsDictionary().value_or(platform::Dictionary());
  times.set(creationTimeKeyWithSubtype(subtype), creationTime);
  std::optional<platform::Error> writeError;
  if (!plist_.writeDictionary(times, &writeError)) {
    VIZInstanceIDKeyPair::deleteKeyPairWithPrivateTag(privateTag, publicTag, nullptr);
    VIZ_IID_LOG_ERROR("Failed to save keypair data to plist %s",
                      writeError ? writeError->description().c_str() : "");
    return writeError.value_or(VIZInstanceIDError(kVIZInstanceIDErrorUnknown));
  }
  return keyPair;
}

platform::Result<VIZInstanceIDKeyPair> VIZInstanceIDKeyPairStore::validCachedKeyPairWithSubtype(
    const std::string& subtype) {
  const std::optional<platform::Dictionary>& times = plist_.contentAsDictionary();
  if (times && times->contains(creationTimeKeyWithSubtype(subtype))) {
    return cachedKeyPairWithSubtype(subtype);
  }
  deleteSavedKeyPairWithSubtype(subtype, nullptr);
  return VIZInstanceIDError(kVIZInstanceIDErrorMissingCreationTime);
}

platform::Result<VIZInstanceIDKeyPair> VIZInstanceIDKeyPairStore::cachedKeyPairWithSubtype(
    const std::string& subtype) {
  return VIZInstanceIDKeyPair::keyPairForPrivateKeyTag(privateTagWithSubtype(subtype),
                                                       publicTagWithSubtype(subtype));
}

bool VIZInstanceIDKeyPairStore::deleteSavedKeyPairWithSubtype(
    const std::string& subtype, std::optional<platform::Error>* error) {
  const std::string key = creationTimeKeyWithSubtype(subtype);
  if (std::optional<platform::Dictionary> times = plist_.contentAsDictionary();
      times && times->contains(key)) {
    times->remove(key);
    std::optional<platform::Error> writeError;
    if (!plist_.writeDictionary(*times, &writeError)) {
      VIZ_IID_LOG_ERROR("Unable to remove keypair creation time from plist %s",
                        writeError ? writeError->description().c_str() : "");
    }
  }
  if (error) error->reset();
  bool deleted = VIZInstanceIDKeyPair::deleteKeyPairWithPrivateTag(
      privateTagWithSubtype(subtype), publicTagWithSubtype(subtype), error);
  if (!deleted) VIZ_IID_LOG_ERROR("Unable to remove RSA keypair");
  return deleted;
}

bool VIZInstanceIDKeyPairStore::removeKeyPairCreationTimePlist(
    std::optional<platform::Error>* error) {
  if (plist_.deleteFile(error)) return true;
  VIZ_IID_LOG_ERROR("Unable to delete keypair creation times plist");
  return false;
}
