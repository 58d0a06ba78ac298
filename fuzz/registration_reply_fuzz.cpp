// A registration reply from the identity service: its lines and token value parse without
// trouble, and a token is delivered only in the forms the client accepts.
#include <cstdlib>
#include <string>

#include "instance_id/registration_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto entries = VIZInstanceIDParseRegistrationReply(body);
  for (const auto& [key, value] : entries) {
    if (key.find('\n') != std::string::npos || value.find('=') != std::string::npos) std::abort();
  }
  auto token = entries.find("token");
  if (token == entries.end()) return 0;
  VIZInstanceIDTokenReply reply = VIZInstanceIDParseTokenValue(token->second, 7);
  if (reply.token && reply.token->size() > token->second.size()) std::abort();
  if (reply.command != VIZInstanceIDTokenReply::Command::None && !reply.token) std::abort();
  return 0;
}
