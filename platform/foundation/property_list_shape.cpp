#include "platform/foundation/property_list_shape.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform::property_list_shape {

namespace {

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.' || c == ':';
}

// Position just past the '>' that ends the markup starting at `from`, skipping quoted text and
// (for declarations) bracketed sections; npos when the text ends first.
size_t endOfMarkup(std::string_view text, size_t from) {
  int brackets = 0;
  for (size_t i = from; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"' || c == '\'') {
      size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos) return close;
      i = close;
    } else if (c == '[') {
      ++brackets;
    } else if (c == ']') {
      if (brackets > 0) --brackets;
    } else if (c == '>' && brackets == 0) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

size_t skipPast(std::string_view text, size_t from, std::string_view terminator) {
  size_t at = text.find(terminator, from);
  return at == std::string_view::npos ? at : at + terminator.size();
}

bool isContainer(std::string_view name) { return name == "array" || name == "dict"; }

std::string tooDeep(size_t maxDepth) {
  return "property list nested deeper than " + std::to_string(maxDepth) + " levels";
}

}  // namespace

std::optional<std::string> checkXML(std::string_view text, size_t maxDepth) {
  // Not allowed in XML, and the parser's key and string accessors assert on it.
  if (text.find('\0') != std::string_view::npos) return "XML text contains a NUL character";
  size_t depth = 0;
  size_t i = 0;
  while ((i = text.find('<', i)) != std::string_view::npos) {
    std::string_view rest = text.substr(i);
    if (rest.starts_with("<!--")) {
      i = skipPast(text, i + 4, "-->");
    } else if (rest.starts_with("<![CDATA[")) {
      i = skipPast(text, i + 9, "]]>");
    } else if (rest.starts_with("<?")) {
      i = skipPast(text, i + 2, "?>");
    } else if (rest.starts_with("<!")) {
      i = endOfMarkup(text, i + 2);
    } else {
      bool closing = rest.starts_with("</");
      size_t nameStart = i + (closing ? 2 : 1);
      size_t nameEnd = nameStart;
      while (nameEnd < text.size() && isNameChar(text[nameEnd])) ++nameEnd;
      std::string_view name = text.substr(nameStart, nameEnd - nameStart);
      size_t end = endOfMarkup(text, nameEnd);
      bool selfClosing = end != std::string_view::npos && text[end - 2] == '/';
      if (isContainer(name)) {
        if (closing) {
          if (depth > 0) --depth;
        } else if (!selfClosing && ++depth > maxDepth) {
          return tooDeep(maxDepth);
        }
      }
      i = end;
    }
    if (i == std::string_view::npos) break;
  }
  return std::nullopt;
}

namespace {

// A view of the binary format: the trailer's fields and the object table.
class BinaryReader {
 public:
  explicit BinaryReader(std::string_view data) : data_(data) {}

  std::optional<std::string> readTrailer() {
    constexpr size_t kHeader = 8, kTrailer = 32;
    if (data_.size() < kHeader + kTrailer) return "binary property list is truncated";
    size_t t = data_.size() - kTrailer;
    offsetSize_ = byte(t + 6);
    refSize_ = byte(t + 7);
    uint64_t objects = number(t + 8, 8);
    uint64_t top = number(t + 16, 8);
    uint64_t table = number(t + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) {
      return "binary property list has invalid integer sizes";
    }
    // Every object takes at least one byte before the table, and each needs a table entry.
    if (objects == 0 || top >= objects || table < kHeader || table > t ||
        objects > table - kHeader || objects > (t - table) / offsetSize_) {
      return "binary property list has an invalid object table";
    }
    objectCount_ = static_cast<size_t>(objects);
    top_ = static_cast<size_t>(top);
    table_ = static_cast<size_t>(table);
    return std::nullopt;
  }

  size_t objectCount() const { return objectCount_; }
  size_t top() const { return top_; }

  // Whether object `index` is a container (array, set or dictionary) and the references it
  // holds (a dictionary's keys and values alike). False when the object or its references lie
  // outside the data or name objects that don't exist.
  bool references(size_t index, bool& container, std::vector<size_t>& refs) const {
    refs.clear();
    size_t at = 0;
    if (!objectStart(index, at)) return false;
    uint8_t marker = byte(at++);
    uint8_t kind = marker >> 4;
    container = kind == 0xA || kind == 0xC || kind == 0xD;
    if (!container) return true;
    uint64_t count = 0;
    if (!readCount(marker, at, count)) return false;
    if (kind == 0xD) {
      if (count > UINT64_MAX / 2) return false;
      count *= 2;
    }
    if (count > (table_ - at) / refSize_) return false;
    refs.reserve(static_cast<size_t>(count));
    for (uint64_t k = 0; k < count; ++k, at += refSize_) {
      uint64_t ref = number(at, refSize_);
      if (ref >= objectCount_) return false;
      refs.push_back(static_cast<size_t>(ref));
    }
    // A dictionary's keys (its first half) must be text without NUL characters: the parser's
    // key accessor asserts on them.
    for (size_t k = 0; kind == 0xD && k < refs.size() / 2; ++k) {
      if (!isKeyText(refs[k])) return false;
    }
    return true;
  }

 private:
  // Whether object `index` is an ASCII (0x5n) or UTF-16 (0x6n) string without a NUL character.
  bool isKeyText(size_t index) const {
    size_t at = 0;
    if (!objectStart(index, at)) return false;
    uint8_t marker = byte(at++);
    uint8_t kind = marker >> 4;
    if (kind != 0x5 && kind != 0x6) return false;
    uint64_t count = 0;
    if (!readCount(marker, at, count)) return false;
    size_t unit = kind == 0x6 ? 2 : 1;
    if (count > (table_ - at) / unit) return false;
    for (size_t k = 0; k < count; ++k) {
      if (number(at + k * unit, unit) == 0) return false;
    }
    return true;
  }

  // Where object `index` starts: after the header and before the offset table.
  bool objectStart(size_t index, size_t& at) const {
    uint64_t offset = number(table_ + index * offsetSize_, offsetSize_);
    if (offset < 8 || offset >= table_) return false;
    at = static_cast<size_t>(offset);
    return true;
  }

  // The element count of the object whose marker was just read; an extended count follows as
  // an integer object (marker 0x1n, then 2^n big-endian bytes). Advances `at` past it.
  bool readCount(uint8_t marker, size_t& at, uint64_t& count) const {
    count = marker & 0x0F;
    if (count != 0x0F) return true;
    if (at >= table_) return false;
    uint8_t intMarker = byte(at++);
    if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3) return false;
    size_t width = size_t{1} << (intMarker & 0x0F);
    if (width > table_ - at) return false;
    count = number(at, width);
    at += width;
    return true;
  }

  uint8_t byte(size_t at) const { return static_cast<uint8_t>(data_[at]); }
  uint64_t number(size_t at, size_t width) const {
    uint64_t n = 0;
    for (size_t k = 0; k < width; ++k) n = (n << 8) | byte(at + k);
    return n;
  }

  std::string_view data_;
  size_t offsetSize_ = 0, refSize_ = 0;
  size_t objectCount_ = 0, top_ = 0, table_ = 0;
};

}  // namespace

std::optional<std::string> checkBinary(std::string_view data, size_t maxDepth, size_t maxNodes) {
  BinaryReader reader(data);
  if (auto failure = reader.readTrailer()) return failure;

  // Depth-first from the top object, without recursion. Each object's depth and expanded value
  // count are computed once and reused wherever it is referenced again.
  enum : uint8_t { kUnseen, kOpen, kDone };
  std::vector<uint8_t> state(reader.objectCount(), kUnseen);
  std::vector<size_t> depth(reader.objectCount(), 0), nodes(reader.objectCount(), 0);
  struct Frame {
    size_t object;
    bool container = false;
    std::vector<size_t> refs;
    size_t next = 0;
  };
  std::vector<Frame> stack;
  const auto open = [&](size_t object) -> std::optional<std::string> {
    // One frame more than the container limit: the leaf at the bottom.
    if (stack.size() > maxDepth) return tooDeep(maxDepth);
    Frame frame{object, false, {}};
    if (!reader.references(object, frame.container, frame.refs)) {
      return "binary property list is malformed";
    }
    state[object] = kOpen;
    stack.push_back(std::move(frame));
    return std::nullopt;
  };
  if (auto failure = open(reader.top())) return failure;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.refs.size()) {
      size_t child = frame.refs[frame.next++];
      if (state[child] == kOpen) return "binary property list refers to itself";
      if (state[child] == kUnseen) {
        if (auto failure = open(child)) return failure;
      }
      continue;
    }
    size_t total = 1, deepest = 0;
    for (size_t child : frame.refs) {
      total += nodes[child];
      if (total > maxNodes) return "binary property list expands to too many values";
      deepest = std::max(deepest, depth[child]);
    }
    nodes[frame.object] = total;
    depth[frame.object] = frame.container ? deepest + 1 : 0;
    state[frame.object] = kDone;
    stack.pop_back();
  }
  if (depth[reader.top()] > maxDepth) return tooDeep(maxDepth);
  return std::nullopt;
}

}  // namespace platform::property_list_shape
