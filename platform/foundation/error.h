#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "platform/foundation/value.h"

namespace platform {

// An error as a value: a string domain, an integer code and a user-info dictionary.
class [[nodiscard]] Error {
 public:
  // User-info keys with a meaning of their own.
  static constexpr const char* kDescriptionKey = "NSLocalizedDescription";
  static constexpr const char* kFailureReasonKey = "NSLocalizedFailureReason";
  static constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";

  Error() = default;
  Error(std::string domain, int64_t code, Value userInfo = Value::dictionary());
  // An error whose user info holds only a description.
  static Error withDescription(std::string domain, int64_t code, std::string description);

  const std::string& domain() const { return domain_; }
  int64_t code() const { return code_; }
  const Value& userInfo() const { return userInfo_; }
  Value& mutableUserInfo() { return userInfo_; }

  // The user info's description when it has one, else a generic sentence naming domain and code.
  std::string localizedDescription() const;
  // "Error Domain=<domain> Code=<code> \"<localized description>\"" for logs.
  std::string description() const;

  bool operator==(const Error& other) const = default;

 private:
  std::string domain_;
  int64_t code_ = 0;
  Value userInfo_ = Value::dictionary();
};

// Either a value or the error that prevented it. Errors are values: nothing throws.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT(*-explicit-constructor)
  Result(Error error) : state_(std::move(error)) {}  // NOLINT(*-explicit-constructor)

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  const T& value() const& { return std::get<0>(state_); }
  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const T& operator*() const& { return value(); }
  T& operator*() & { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }

  const Error& error() const { return std::get<1>(state_); }

  template <typename U>
  T valueOr(U&& fallback) const& {
    return ok() ? value() : static_cast<T>(std::forward<U>(fallback));
  }

 private:
  std::variant<T, Error> state_;
};

// Success without a value, or an error.
using Status = Result<std::monostate>;
inline Status okStatus() { return Status(std::monostate{}); }

}  // namespace platform
