#pragma once
// Decides whether a token request is answered from the cache or sent, keeps the cache right when
// the push token changes, and deletes tokens locally and on the server. Only messaging-scope
// tokens are answered from the cache, and only while the push token they were obtained with is
// unchanged. Main queue; every answer comes in a later turn of the main queue.
#include <memory>
#include <optional>
#include <string>

#include "instance_id/iid_store.h"
#include "instance_id/registrar.h"

class VIZInstanceIDTokenManager : public std::enable_shared_from_this<VIZInstanceIDTokenManager> {
 public:
  using TokenHandler = VIZInstanceIDRegistrar::TokenHandler;
  using ErrorHandler = VIZInstanceIDRegistrar::ErrorHandler;

  // Over the default store (which runs its start-up steps).
  VIZInstanceIDTokenManager();
  explicit VIZInstanceIDTokenManager(std::shared_ptr<VIZInstanceIDStore> store);

  VIZInstanceIDStore& instanceIDStore() { return *instanceIDStore_; }
  VIZInstanceIDRegistrar& registrar() { return *registrar_; }

  std::optional<std::string> tokenWithAuthorizedEntity(const std::string& entity,
                                                       const std::string& scope,
                                                       const platform::Dictionary& options);
  void fetchNewTokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                         const VIZInstanceIDKeyPair& keyPair,
                                         const platform::Dictionary& options, TokenHandler handler);
  void deleteTokenWithAuthorizedEntity(const std::string& entity, const std::string& scope,
                                       const VIZInstanceIDKeyPair& keyPair, ErrorHandler handler);
  // Clears the cache, then asks the server to drop every registration (entity and scope "*").
  void deleteAllTokensWithKeyPair(const VIZInstanceIDKeyPair& keyPair, ErrorHandler handler);
  bool deleteAllTokensLocally(std::optional<platform::Error>* error = nullptr);
  void stopAllRequests() { registrar_->stopAllRequests(); }

  // Whether the messaging cache was emptied because the push token changed from a known one.
  bool invalidateCachedTokenWithAuthorizedEntity(const std::string& entity,
                                                 const std::string& scope,
                                                 const platform::Dictionary& options);

 private:
  void deleteRegisteredToken(const std::string& entity, const std::string& scope,
                             const VIZInstanceIDKeyPair& keyPair, ErrorHandler handler);

  std::shared_ptr<VIZInstanceIDStore> instanceIDStore_;
  std::shared_ptr<VIZInstanceIDRegistrar> registrar_;
};
