#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Checks on the shape of property-list input made before the parser sees it: the parser recurses
// once per nesting level and copies shared binary objects, so deep or self-multiplying input must
// be refused before parsing rather than after.
namespace platform::property_list_shape {

// Answers why the XML text nests containers deeper than `maxDepth`, or nothing when it doesn't.
// The count errs on the high side (it is not a parser).
std::optional<std::string> checkXML(std::string_view text, size_t maxDepth);

// Answers why the binary property list is unusable: a trailer or offset table out of bounds,
// references to missing objects, a reference cycle, nesting deeper than `maxDepth`, or more than
// `maxNodes` values once shared objects are expanded. Nothing when it is fine.
std::optional<std::string> checkBinary(std::string_view data, size_t maxDepth, size_t maxNodes);

}  // namespace platform::property_list_shape
