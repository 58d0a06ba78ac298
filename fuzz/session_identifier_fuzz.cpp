// Background-session identifiers read back from the user defaults: what parses must be made
// again into an identifier that parses to the same UUID.
#include <cstdlib>

#include "toolbox/fetcher/session_identifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<SessionIdentifierParts> parts = parseSessionIdentifier(input);
  if (!parts) return 0;
  if (parts->uuid.empty() || !parts->metadata.isDictionary()) std::abort();
  const std::string again = makeSessionIdentifier(parts->uuid, parts->metadata);
  if (parts->metadata.size() == 0) return 0;
  std::optional<SessionIdentifierParts> reparsed = parseSessionIdentifier(again);
  if (!reparsed || reparsed->uuid != parts->uuid) std::abort();
  return 0;
}
