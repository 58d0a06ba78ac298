#pragma once

#include <any>
#include <cstdint>
#include <string>

#include "platform/foundation/value.h"

// The status of an answer to the page; the page's exec module knows these numbers.
enum VKRCommandStatus : int32_t {
  kVKRCommandStatusNoResult = 0,
  kVKRCommandStatusOK = 1,
  kVKRCommandStatusClassNotFound = 2,
  kVKRCommandStatusIllegalAccess = 3,
  kVKRCommandStatusInstantiationError = 4,
  kVKRCommandStatusMalformedUrl = 5,
  kVKRCommandStatusIOError = 6,
  kVKRCommandStatusInvalidAction = 7,
  kVKRCommandStatusJSONError = 8,
  kVKRCommandStatusError = 9,
};

// One answer to the page: a status, a message (any JSON-writable value; null for none) and whether
// the page keeps its callback for later answers. A plain value: copy it freely; it is not changed
// once sent.
class VKRPluginResult {
 public:
  // Status 0 and no message.
  VKRPluginResult() = default;
  VKRPluginResult(int32_t status, platform::Value message);

  // The text of a status ("OK", "IO error", ...); "" for numbers outside the table.
  static const char* statusText(int32_t status);

  static VKRPluginResult resultWithStatus(int32_t status);
  static VKRPluginResult resultWithStatus(int32_t status, std::string messageAsString);
  static VKRPluginResult resultWithStatus(int32_t status, const char* messageAsString);
  static VKRPluginResult resultWithStatus(int32_t status, platform::Value::Array messageAsArray);
  static VKRPluginResult resultWithStatus(int32_t status, platform::Dictionary messageAsDictionary);
  static VKRPluginResult resultWithStatus(int32_t status, int32_t messageAsInt);
  static VKRPluginResult resultWithStatus(int32_t status, int64_t messageAsNSInteger);
  static VKRPluginResult resultWithStatus(int32_t status, uint64_t messageAsNSUInteger);
  static VKRPluginResult resultWithStatus(int32_t status, double messageAsDouble);
  static VKRPluginResult resultWithStatus(int32_t status, bool messageAsBool);
  static VKRPluginResult resultWithStatus(int32_t status,
                                          const platform::Bytes& messageAsArrayBuffer);
  // Binary parts go in ArrayBuffer form, the others as they are, in order.
  static VKRPluginResult resultWithStatusMessageAsMultipart(int32_t status,
                                                            const platform::Value::Array& parts);
  // {"code": errorCode}
  static VKRPluginResult resultWithStatusMessageToErrorObject(int32_t status, int32_t errorCode);

  int32_t status() const { return status_; }
  const platform::Value& message() const { return message_; }
  bool keepCallback() const { return keepCallback_; }
  void setKeepCallback(bool keep) { keepCallback_ = keep; }
  void setKeepCallbackAsBool(bool keep) { keepCallback_ = keep; }
  // A plugin's own companion value; never sent to the page.
  const std::any& associatedObject() const { return associatedObject_; }
  void setAssociatedObject(std::any object) { associatedObject_ = std::move(object); }

  // The message as JSON text ("null" without one), ready to be placed in a script. A message that
  // cannot be written as JSON is logged and gives "null", so the page still gets a valid call.
  std::string argumentsAsJSON() const;

 private:
  int32_t status_ = kVKRCommandStatusNoResult;
  platform::Value message_;
  bool keepCallback_ = false;
  std::any associatedObject_;
};

// {"VKRType": "ArrayBuffer", "data": <base64 of the bytes>}: how binary data crosses to the page.
platform::Value vkrArrayBufferMessage(const platform::Bytes& bytes);
