// Arbitrary text through the vCard reader and the address book's card conversion: never a
// crash; a card written from what was read reads back the same.
#include <cstdlib>

#include "platform/contacts/address_book.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace platform::contacts;
  for (const VCard& card :
       parseVCards(std::string_view(reinterpret_cast<const char*>(data), size))) {
    if (std::shared_ptr<ABRecord> record = ABRecord::fromVCard(card)) {
      const std::string text = writeVCard(record->toVCard());
      const std::vector<VCard> again = parseVCards(text);
      if (again.size() != 1 || writeVCard(again[0]) != text) std::abort();
    }
    for (const VCardProperty& property : card) (void)vCardComponents(property.value);
  }
  return 0;
}
