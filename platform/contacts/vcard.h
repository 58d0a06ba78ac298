#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::contacts {

// One content line of a vCard: "NAME;PARAM=VALUE:value", the value as written (escaped).
struct VCardProperty {
  std::string name;                                             // upper-cased
  std::vector<std::pair<std::string, std::string>> parameters;  // names upper-cased
  std::string value;

  bool operator==(const VCardProperty&) const = default;
  // The value of the first parameter of that name, or "".
  std::string parameter(std::string_view name) const;
};
using VCard = std::vector<VCardProperty>;

// The cards of a vCard 3.0 text (folded lines joined); lines outside BEGIN:VCARD ... END:VCARD
// and malformed lines are skipped, so any input reads.
std::vector<VCard> parseVCards(std::string_view text);
// One card as vCard 3.0 text: BEGIN, VERSION:3.0, the properties folded at 75 bytes (never inside
// a UTF-8 character), END; lines end with CRLF.
std::string writeVCard(const VCard& card);

// A text value with "\n", "\,", "\;" and "\\" escaped, and back.
std::string vCardEscaped(std::string_view text);
std::string vCardUnescaped(std::string_view value);
// A structured value's components (split at unescaped ";"), unescaped; and joined back.
std::vector<std::string> vCardComponents(std::string_view value);
std::string vCardJoined(const std::vector<std::string>& components);

}  // namespace platform::contacts
