#pragma once

// Background-session identifiers: "com.zorova.ZTMSessionFetcher", "_", an upper-case UUID and,
// when there is metadata, "_" and the metadata as compact JSON.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

inline constexpr const char* kZTMSessionIdentifierPrefix = "com.zorova.ZTMSessionFetcher";
// Metadata keys of the fetcher's own (keys beginning with "_" belong to the fetcher).
inline constexpr const char* kZTMSessionIdentifierDestinationFileURLMetadataKey = "_destURL";
inline constexpr const char* kZTMSessionIdentifierBodyFileURLMetadataKey = "_bodyURL";

struct SessionIdentifierParts {
  std::string uuid;
  platform::Value metadata;  // a dictionary
};

// The UUID and metadata of an identifier, or nullopt when it has no metadata or the metadata is
// not a JSON object.
std::optional<SessionIdentifierParts> parseSessionIdentifier(std::string_view identifier);

// A new identifier for the UUID; metadata that is empty (or cannot be written) adds nothing.
std::string makeSessionIdentifier(const std::string& uuid, const platform::Value& metadata);
