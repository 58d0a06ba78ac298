#include "platform/contacts/vcard.h"

#include <algorithm>

namespace platform::contacts {

namespace {

std::string uppercased(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return upper;
}

}  // namespace

std::string vCardUnescaped(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[++i];
      out += next == 'n' || next == 'N' ? '\n' : next;
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string vCardEscaped(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

namespace {

// Physical lines joined where a line starting with a space or tab continues the one before.
std::vector<std::string> unfoldedLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
      lines.back() += line.substr(1);
    } else {
      lines.emplace_back(line);
    }
    start = end + 1;
  }
  return lines;
}

bool parseLine(std::string_view line, VCardProperty& property) {
  // The value starts at the first ":" outside a quoted parameter value.
  bool quoted = false;
  size_t colon = std::string_view::npos;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view head = line.substr(0, colon);
  property = VCardProperty();
  size_t semicolon = head.find(';');
  std::string_view name = head.substr(0, semicolon);
  // A group prefix ("item1.TEL") is not kept.
  if (size_t dot = name.rfind('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
  if (name.empty()) return false;
  property.name = uppercased(name);
  while (semicolon != std::string_view::npos) {
    const size_t next = head.find(';', semicolon + 1);
    std::string_view parameter =
        head.substr(semicolon + 1,
                    next == std::string_view::npos ? std::string_view::npos : next - semicolon - 1);
    const size_t equals = parameter.find('=');
    std::string value(equals == std::string_view::npos ? parameter : parameter.substr(equals + 1));
    std::erase(value, '"');
    property.parameters.emplace_back(
        equals == std::string_view::npos ? "TYPE" : uppercased(parameter.substr(0, equals)),
        std::move(value));
    semicolon = next;
  }
  property.value = std::string(line.substr(colon + 1));
  return true;
}

void appendFolded(std::string& out, const std::string& line) {
  size_t start = 0;
  size_t limit = 75;
  while (line.size() - start > limit) {
    size_t cut = start + limit;
    // Never inside a UTF-8 character: back up over continuation bytes.
    while (cut > start + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line, start, cut - start);
    out += "\r\n ";
    start = cut;
    limit = 74;  // the leading space counts
  }
  out.append(line, start);
  out += "\r\n";
}

}  // namespace

std::string VCardProperty::parameter(std::string_view wanted) const {
  for (const auto& [name, value] : parameters) {
    if (name == wanted) return value;
  }
  return {};
}

std::vector<VCard> parseVCards(std::string_view text) {
  std::vector<VCard> cards;
  bool inCard = false;
  for (const std::string& line : unfoldedLines(text)) {
    VCardProperty property;
    if (!parseLine(line, property)) continue;
    const std::string value = uppercased(property.value);
    if (property.name == "BEGIN" && value == "VCARD") {
      cards.emplace_back();
      inCard = true;
    } else if (property.name == "END" && value == "VCARD") {
      inCard = false;
    } else if (inCard && property.name != "VERSION") {
      cards.back().push_back(std::move(property));
    }
  }
  return cards;
}

std::string writeVCard(const VCard& card) {
  std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  for (const VCardProperty& property : card) {
    std::string line = property.name;
    for (const auto& [name, value] : property.parameters) {
      line += ";" + name + "=";
      const bool quote = value.find_first_of(":;,") != std::string::npos;
      line += quote ? "\"" + value + "\"" : value;
    }
    line += ":" + property.value;
    appendFolded(out, line);
  }
  out += "END:VCARD\r\n";
  return out;
}

std::vector<std::string> vCardComponents(std::string_view value) {
  std::vector<std::string> components(1);
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      components.back() += value.substr(i, 2);
      ++i;
    } else if (value[i] == ';') {
      components.emplace_back();
    } else {
      components.back() += value[i];
    }
  }
  for (std::string& component : components) component = vCardUnescaped(component);
  return components;
}

std::string vCardJoined(const std::vector<std::string>& components) {
  std::string joined;
  for (size_t i = 0; i < components.size(); ++i) {
    if (i > 0) joined += ';';
    joined += vCardEscaped(components[i]);
  }
  return joined;
}

}  // namespace platform::contacts
