#pragma once

// What a fetcher sends and how: the request, its body, where a download goes, the security and
// cookie settings, the service and authoriser, and the caller's own values. It checks that a
// fetch may begin and turns the settings into the request a task is made with. Thread-safe: the
// state sits under the owner's lock.

#include <any>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"
#include "platform/net/url_session.h"
#include "toolbox/fetcher/fetcher_blocks.h"
#include "toolbox/fetcher/fetcher_protocols.h"
#include "toolbox/fetcher/locked_property.h"

class FetcherRequest {
 public:
  using URL = platform::URL;
  using URLRequest = platform::net::URLRequest;

  // The request as a task is made with it.
  struct Prepared {
    URLRequest request;
    std::string method;
    bool isGET = true;
    bool needsUploadTask = false;
  };

  explicit FetcherRequest(std::optional<URLRequest> request);

  // Why a fetch of this request may not begin: nullopt when it may, else the fetcher error code.
  // Insecure schemes are allowed only where the settings say so.
  std::optional<int64_t> refusal(bool hasSessionIdentifier) const;
  // Sets the method and body on the stored request (a fetch from resume data goes with an empty
  // one) and answers it.
  Prepared prepare();
  // The failing-URL text for errors about this request.
  std::string failingURLText() const;
  // The body's length: of the body bytes, else of the body file; -1 while unknown.
  int64_t bodyLength();
  // The fetch is over: the body's length is what went out.
  void setSentBodyLength(int64_t length);
  std::string urlString() const;
  // Keeps the request a task reports when the fetcher has none of its own.
  void adoptIfNone(const URLRequest& request);
  // Removes the authorisation header (a refresh is due); answers whether there was a request.
  void dropAuthorization();
  // The redirect lost its authorisation on the way: the request goes to `url` instead, when it
  // carries one. Answers whether it did.
  bool redirectSignedRequest(const URL& url);
  // Picks the cookie jar (see ZSDK_ZTMSessionFetcher::setCookieStorageMethod).
  void setCookieStorageMethod(int64_t method);
  // The jar the fetch uses, chosen now when none was.
  std::shared_ptr<platform::net::HTTPCookieStorage> cookieStorageOr(
      std::shared_ptr<platform::net::HTTPCookieStorage> fallback);
  // Caller values.
  void setProperties(platform::Value properties);
  void setProperty(const std::string& key, platform::Value value);
  platform::Value propertyForKey(const std::string& key) const;
  void addProperties(const platform::Value& dictionary);
  // Switches deferred response-body logging; answers whether the deferred log is due now.
  bool setDeferResponseBodyLogging(bool defer);
  void markErrorLogged();

  VKR_LOCKED_PROPERTY(std::optional<URLRequest>, request, setRequest, request_)
  VKR_LOCKED_PROPERTY(std::optional<platform::net::URLSessionConfiguration>, configuration,
                      setConfiguration, configuration_)
  VKR_LOCKED_PROPERTY(std::string, taskDescription, setTaskDescription, taskDescription_)
  std::optional<platform::Bytes> bodyData() const;
  void setBodyData(std::optional<platform::Bytes> data);
  // The body bytes themselves, shared rather than copied (null: none).
  std::shared_ptr<const platform::Bytes> sharedBodyData() const;
  VKR_LOCKED_PROPERTY(std::optional<URL>, bodyFileURL, setBodyFileURL, bodyFileURL_)
  VKR_LOCKED_PROPERTY(fetcher_blocks::BodyStreamProvider, bodyStreamProvider, setBodyStreamProvider,
                      bodyStreamProvider_)
  VKR_LOCKED_PROPERTY(bool, useUploadTask, setUseUploadTask, useUploadTask_)
  VKR_LOCKED_PROPERTY(std::optional<URL>, destinationFileURL, setDestinationFileURL,
                      destinationFileURL_)
  VKR_LOCKED_PROPERTY(std::optional<platform::Bytes>, downloadResumeData, setDownloadResumeData,
                      downloadResumeData_)
  VKR_LOCKED_PROPERTY(std::optional<platform::net::URLCredential>, credential, setCredential,
                      credential_)
  VKR_LOCKED_PROPERTY(std::optional<platform::net::URLCredential>, proxyCredential,
                      setProxyCredential, proxyCredential_)
  VKR_LOCKED_PROPERTY(bool, allowLocalhostRequest, setAllowLocalhostRequest, allowLocalhostRequest_)
  VKR_LOCKED_PROPERTY(bool, allowInvalidServerCertificates, setAllowInvalidServerCertificates,
                      allowInvalidServerCertificates_)
  VKR_LOCKED_PROPERTY(std::vector<std::string>, allowedInsecureSchemes, setAllowedInsecureSchemes,
                      allowedInsecureSchemes_)
  VKR_LOCKED_PROPERTY(std::shared_ptr<platform::net::HTTPCookieStorage>, cookieStorage,
                      setCookieStorage, cookieStorage_)
  VKR_LOCKED_PROPERTY(std::shared_ptr<ZTMFetcherAuthorizationProtocol>, authorizer, setAuthorizer,
                      authorizer_)
  VKR_LOCKED_PROPERTY(std::shared_ptr<ZTMSessionFetcherServiceProtocol>, service, setService,
                      service_)
  VKR_LOCKED_PROPERTY(std::string, serviceHost, setServiceHost, serviceHost_)
  VKR_LOCKED_PROPERTY(int64_t, servicePriority, setServicePriority, servicePriority_)
  VKR_LOCKED_PROPERTY(bool, canShareSession, setCanShareSession, canShareSession_)
  VKR_LOCKED_PROPERTY(std::any, userData, setUserData, userData_)
  VKR_LOCKED_PROPERTY(platform::Value, properties, setPropertiesValue, properties_)
  VKR_LOCKED_PROPERTY(std::string, comment, setComment, comment_)
  VKR_LOCKED_PROPERTY(bool, deferResponseBodyLogging, setDeferResponseBodyLoggingValue,
                      deferResponseBodyLogging_)
  VKR_LOCKED_PROPERTY(bool, hasLoggedError, setHasLoggedError, hasLoggedError_)

 private:
  bool schemeAllowed(const URL& url) const VKR_REQUIRES(mutex_);

  mutable platform::Mutex mutex_;
  std::optional<URLRequest> request_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::net::URLSessionConfiguration> configuration_ VKR_GUARDED_BY(mutex_);
  std::string taskDescription_ VKR_GUARDED_BY(mutex_);
  // Shared with the tasks that send it, so a large body is not copied for each.
  std::shared_ptr<const platform::Bytes> bodyData_ VKR_GUARDED_BY(mutex_);
  std::optional<URL> bodyFileURL_ VKR_GUARDED_BY(mutex_);
  int64_t bodyLength_ VKR_GUARDED_BY(mutex_) = -1;
  fetcher_blocks::BodyStreamProvider bodyStreamProvider_ VKR_GUARDED_BY(mutex_);
  bool useUploadTask_ VKR_GUARDED_BY(mutex_) = false;
  std::optional<URL> destinationFileURL_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::Bytes> downloadResumeData_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::net::URLCredential> credential_ VKR_GUARDED_BY(mutex_);
  std::optional<platform::net::URLCredential> proxyCredential_ VKR_GUARDED_BY(mutex_);
  bool allowLocalhostRequest_ VKR_GUARDED_BY(mutex_) = false;
  bool allowInvalidServerCertificates_ VKR_GUARDED_BY(mutex_) = false;
  std::vector<std::string> allowedInsecureSchemes_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<platform::net::HTTPCookieStorage> cookieStorage_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<ZTMFetcherAuthorizationProtocol> authorizer_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<ZTMSessionFetcherServiceProtocol> service_ VKR_GUARDED_BY(mutex_);
  std::string serviceHost_ VKR_GUARDED_BY(mutex_);
  int64_t servicePriority_ VKR_GUARDED_BY(mutex_) = 0;
  bool canShareSession_ VKR_GUARDED_BY(mutex_) = false;
  std::any userData_ VKR_GUARDED_BY(mutex_);
  platform::Value properties_ VKR_GUARDED_BY(mutex_);
  std::string comment_ VKR_GUARDED_BY(mutex_) = "(No fetcher comment set)";
  bool deferResponseBodyLogging_ VKR_GUARDED_BY(mutex_) = false;
  bool hasLoggedError_ VKR_GUARDED_BY(mutex_) = false;
};
