#include "platform/foundation/property_list.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "platform/foundation/property_list_shape.h"
#include "platform/foundation/utf8.h"

namespace platform {

namespace {

// Seconds between 1970-01-01 and the property-list epoch 2001-01-01.
constexpr double kEpochOffset = 978307200.0;

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};
using CBuffer = std::unique_ptr<char, FreeDeleter>;

Error readError(std::string message) {
  return Error::withDescription(kPropertyListErrorDomain, kPropertyListReadError,
                                std::move(message));
}

Error writeError(std::string message) {
  return Error::withDescription(kPropertyListErrorDomain, kPropertyListWriteError,
                                std::move(message));
}

// The exact seconds of a date node. The library's accessor truncates to whole microseconds and
// loses the sign of dates less than a second before its epoch, so read the double from the
// node's binary encoding (header, then marker 0x33 and eight big-endian bytes).
double dateSeconds(plist_t node) {
  char* raw = nullptr;
  uint32_t length = 0;
  plist_to_bin(node, &raw, &length);
  CBuffer bin(raw);
  if (bin && length >= 17 && static_cast<uint8_t>(raw[8]) == 0x33) {
    uint64_t bits = 0;
    for (int k = 0; k < 8; ++k) bits = (bits << 8) | static_cast<uint8_t>(raw[9 + k]);
    double seconds;
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
  }
  int32_t sec = 0, usec = 0;
  plist_get_date_val(node, &sec, &usec);
  return sec + (sec < 0 ? -usec : usec) / 1e6;
}

std::string takeString(char* raw) {
  CBuffer owned(raw);
  return raw ? std::string(raw) : std::string();
}

Result<Value> toValue(plist_t node, size_t depth, size_t maxDepth) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return Value(b != 0);
    }
    case PLIST_UINT: {
      uint64_t n = 0;
      plist_get_uint_val(node, &n);
      return Value(static_cast<int64_t>(n));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      // Not the copying accessor: it asserts on text with a NUL character.
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      return Value(text ? std::string(text, length) : std::string());
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      return Value(Bytes(bytes, bytes + (bytes ? length : 0)));
    }
    case PLIST_DATE:
      return Value(Date{dateSeconds(node) + kEpochOffset});
    case PLIST_UID: {
      uint64_t n = 0;
      plist_get_uid_val(node, &n);
      return Value::dictionary({{"CF$UID", static_cast<int64_t>(n)}});
    }
    case PLIST_ARRAY: {
      if (depth >= maxDepth) break;
      Value::Array items;
      uint32_t count = plist_array_get_size(node);
      items.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        Result<Value> item = toValue(plist_array_get_item(node, i), depth + 1, maxDepth);
        if (!item) return item;
        items.push_back(std::move(item).value());
      }
      return Value(std::move(items));
    }
    case PLIST_DICT: {
      if (depth >= maxDepth) break;
      Dictionary dict;
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      std::unique_ptr<void, void (*)(void*)> iterOwner(iter, std::free);
      while (true) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &rawKey, &item);
        std::string key = takeString(rawKey);
        if (!item) break;
        Result<Value> value = toValue(item, depth + 1, maxDepth);
        if (!value) return value;
        dict.set(std::move(key), std::move(value).value());
      }
      return Value(std::move(dict));
    }
    default:
      return readError("property list holds a value of an unknown type");
  }
  return readError("property list nested deeper than " + std::to_string(maxDepth) + " levels");
}

Result<PlistPtr> toNode(const Value& value, size_t depth);

Status checkText(const std::string& text, const char* what) {
  if (text.find('\0') != std::string::npos) {
    return writeError(std::string(what) + " with a NUL character cannot be written");
  }
  if (!isValidUTF8(text)) {
    return writeError(std::string(what) + " that is not valid UTF-8 cannot be written");
  }
  return okStatus();
}

Result<PlistPtr> toContainer(const Value& value, size_t depth) {
  if (depth >= kPropertyListMaxDepth) {
    return writeError("property list nested deeper than " + std::to_string(kPropertyListMaxDepth) +
                      " levels");
  }
  if (const Value::Array* items = value.arrayIf()) {
    PlistPtr array(plist_new_array());
    for (const Value& item : *items) {
      Result<PlistPtr> child = toNode(item, depth + 1);
      if (!child) return child;
      plist_array_append_item(array.get(), child->release());
    }
    return array;
  }
  PlistPtr dict(plist_new_dict());
  for (const auto& [key, item] : *value.dictionaryIf()) {
    if (Status ok = checkText(key, "a key"); !ok) return ok.error();
    Result<PlistPtr> child = toNode(item, depth + 1);
    if (!child) return child;
    plist_dict_set_item(dict.get(), key.c_str(), child->release());
  }
  return dict;
}

Result<PlistPtr> toNode(const Value& value, size_t depth) {
  switch (value.type()) {
    case Value::Type::Null:
      return writeError("null cannot be written in a property list");
    case Value::Type::Bool:
      return PlistPtr(plist_new_bool(*value.asBool() ? 1 : 0));
    case Value::Type::Integer:
      // Stored as the two's-complement bits; the library writes negative numbers back as such.
      return PlistPtr(plist_new_uint(static_cast<uint64_t>(*value.asInteger())));
    case Value::Type::Real:
      return PlistPtr(plist_new_real(*value.asDouble()));
    case Value::Type::String: {
      if (Status ok = checkText(*value.stringIf(), "a string"); !ok) return ok.error();
      return PlistPtr(plist_new_string(value.stringIf()->c_str()));
    }
    case Value::Type::Data: {
      const Bytes& bytes = *value.dataIf();
      return PlistPtr(plist_new_data(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    case Value::Type::Date: {
      double seconds = value.dateIf()->secondsSince1970 - kEpochOffset;
      double whole = std::trunc(seconds);
      if (!(std::fabs(whole) <= std::numeric_limits<int32_t>::max())) {
        return writeError("a date this far from 2001 cannot be written in a property list");
      }
      auto usec = static_cast<int32_t>(std::lround((seconds - whole) * 1e6));
      return PlistPtr(plist_new_date(static_cast<int32_t>(whole), usec));
    }
    case Value::Type::Array:
    case Value::Type::Dictionary:
      return toContainer(value, depth);
  }
  return writeError("value of an unknown type");
}

bool isBinary(std::string_view data) { return data.starts_with("bplist00"); }

}  // namespace

Result<Value> parsePropertyList(std::string_view data, const PropertyListReadOptions& options,
                                PropertyListFormat* format) {
  if (data.size() > options.maxBytes || data.size() > std::numeric_limits<uint32_t>::max()) {
    return readError("property list of " + std::to_string(data.size()) +
                     " bytes is larger than allowed");
  }
  bool binary = isBinary(data);
  // Expanded shared objects cannot amount to more values than a few per input byte.
  std::optional<std::string> refusal =
      binary ? property_list_shape::checkBinary(data, options.maxDepth, 4 * data.size() + 1024)
             : property_list_shape::checkXML(data, options.maxDepth);
  if (refusal) return readError(std::move(*refusal));

  // A terminated copy, so the parser never reads past the input.
  std::string text(data);
  plist_t raw = nullptr;
  if (binary) {
    plist_from_bin(text.data(), static_cast<uint32_t>(text.size()), &raw);
  } else {
    plist_from_xml(text.data(), static_cast<uint32_t>(text.size()), &raw);
  }
  PlistPtr root(raw);
  if (!root) {
    return readError(binary ? "binary property list is malformed"
                            : "text is not an XML property list");
  }
  Result<Value> value = toValue(root.get(), 0, options.maxDepth);
  if (value && format) *format = binary ? PropertyListFormat::Binary : PropertyListFormat::XML;
  return value;
}

Result<Bytes> toPropertyList(const Value& value, PropertyListFormat format) {
  Result<PlistPtr> root = toNode(value, 0);
  if (!root) return root.error();
  char* raw = nullptr;
  uint32_t length = 0;
  if (format == PropertyListFormat::Binary) {
    plist_to_bin(root->get(), &raw, &length);
  } else {
    plist_to_xml(root->get(), &raw, &length);
  }
  CBuffer out(raw);
  if (!out) return writeError("property list could not be written");
  return Bytes(raw, raw + length);
}

}  // namespace platform
