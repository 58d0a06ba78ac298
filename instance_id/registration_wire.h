#pragma once
// The registration endpoint's bodies: the form a request sends and the reply's lines.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// A form body: "name=value" pairs joined by "&". Values are form-encoded, so caller data cannot
// add fields to a signed request; ordinary values (digits, letters, ".", "-", "_", ":") stay as
// they are.
class VIZInstanceIDFormBody {
 public:
  void add(std::string_view name, std::string_view value);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// The reply's "key=value" lines; a line without "=" is logged and skipped, a value keeps only the
// text up to its own first "=", and a later key replaces an earlier one.
std::map<std::string, std::string, std::less<>> VIZInstanceIDParseRegistrationReply(
    std::string_view body);

// What a reply's token value says.
struct VIZInstanceIDTokenReply {
  enum class Command { None, Sync, Reset };
  // Nothing for a command-form value too short to carry a token.
  std::optional<std::string> token;
  Command command = Command::None;
};

// The two token forms: "|ID|<x>|<command>|...|[:]<token>" (at least five parts), or an older bare
// token, from which a leading "<request id>:" of this request is removed.
VIZInstanceIDTokenReply VIZInstanceIDParseTokenValue(const std::string& value, uint64_t requestID);
