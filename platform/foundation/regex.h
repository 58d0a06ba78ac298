#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"

typedef struct _GRegex GRegex;

namespace platform {

inline constexpr const char* kRegexErrorDomain = "RegexErrorDomain";

struct RegexOptions {
  bool caseInsensitive = false;  // ASCII letters
};

// A compiled Perl-compatible regular expression (GLib's PCRE), matching text as bytes. Copies
// share the compiled form. Thread-safe.
class Regex {
 public:
  using Options = RegexOptions;
  // The text of each capture group of a match (group 0 is the whole match); nothing for a group
  // that took no part in it.
  using Groups = std::vector<std::optional<std::string>>;

  // An error (with the compiler's message) for a pattern that does not compile.
  static Result<Regex> compile(std::string_view pattern, Options options = {});

  // The first match that begins at the start of the text.
  std::optional<Groups> matchAtStart(std::string_view text) const;
  // Whether a match covers the whole text.
  bool matchesWhole(std::string_view text) const;

 private:
  explicit Regex(std::shared_ptr<GRegex> regex) : regex_(std::move(regex)) {}
  std::shared_ptr<GRegex> regex_;
};

}  // namespace platform
