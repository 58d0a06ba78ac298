#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"

namespace platform {

inline constexpr const char* kXMLParserErrorDomain = "XMLParserErrorDomain";
// User-info keys of a parse error: where the parser stopped (1-based line, 0-based column).
inline constexpr const char* kXMLLineKey = "line";
inline constexpr const char* kXMLColumnKey = "column";

using XMLAttributes = std::map<std::string, std::string>;

// Receives the events of an XML document in order. All methods are optional.
class XMLParserDelegate {
 public:
  virtual ~XMLParserDelegate() = default;
  virtual void didStartElement(const std::string& name, const XMLAttributes& attributes) {
    (void)name;
    (void)attributes;
  }
  virtual void didEndElement(const std::string& name) { (void)name; }
  // Character data, possibly in several pieces.
  virtual void foundCharacters(std::string_view text) { (void)text; }
};

// An event-based XML parser. External entities are never loaded, and entity expansion is
// bounded, so a hostile document cannot reach files or exhaust memory.
class XMLParser {
 public:
  explicit XMLParser(XMLParserDelegate& delegate) : delegate_(delegate) {}

  // Parses a whole document; a malformed one gives an error with its line and column.
  Status parse(std::string_view document);
  // Called from a delegate method: stops parsing; parse() then answers an "aborted" error.
  void abort() { aborted_ = true; }

 private:
  XMLParserDelegate& delegate_;
  bool aborted_ = false;
};

}  // namespace platform
