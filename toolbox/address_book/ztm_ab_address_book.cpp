#include "toolbox/address_book/ztm_ab_address_book.h"

#include <glib.h>

namespace {

// The text without case, diacritics or width differences: compatibility-decomposed, combining
// marks dropped, case-folded.
std::string folded(std::string_view text) {
  gchar* decomposed =
      g_utf8_normalize(text.data(), static_cast<gssize>(text.size()), G_NORMALIZE_ALL);
  if (!decomposed) return std::string(text);  // not UTF-8: compared as it is
  std::string bare;
  for (const gchar* p = decomposed; *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (g_unichar_ismark(c)) continue;
    bare.append(p, static_cast<size_t>(g_utf8_next_char(p) - p));
  }
  g_free(decomposed);
  gchar* casefolded = g_utf8_casefold(bare.data(), static_cast<gssize>(bare.size()));
  std::string result(casefolded);
  g_free(casefolded);
  return result;
}

}  // namespace

std::shared_ptr<ZSDK_ZTMABAddressBook> ZSDK_ZTMABAddressBook::addressBook() {
  platform::Result<std::shared_ptr<platform::contacts::ABAddressBook>> book =
      platform::contacts::ABAddressBook::create();
  if (!book) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABAddressBook>(new ZSDK_ZTMABAddressBook(*book));
}

bool ZSDK_ZTMABAddressBook::addRecord(const std::shared_ptr<ZSDK_ZTMABRecord>& record) {
  return record && addressBook_->addRecord(record->recordRef());
}

bool ZSDK_ZTMABAddressBook::removeRecord(const std::shared_ptr<ZSDK_ZTMABRecord>& record) {
  return record && addressBook_->removeRecord(record->recordRef());
}

std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> ZSDK_ZTMABAddressBook::people() const {
  std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> people;
  for (auto& record : addressBook_->allPeople()) {
    people.push_back(ZSDK_ZTMABPerson::recordWithRecord(record));
  }
  return people;
}

std::vector<std::shared_ptr<ZSDK_ZTMABGroup>> ZSDK_ZTMABAddressBook::groups() const {
  std::vector<std::shared_ptr<ZSDK_ZTMABGroup>> groups;
  for (auto& record : addressBook_->allGroups()) {
    groups.push_back(ZSDK_ZTMABGroup::recordWithRecord(record));
  }
  return groups;
}

std::shared_ptr<ZSDK_ZTMABPerson> ZSDK_ZTMABAddressBook::personForId(
    platform::contacts::ABRecordID id) const {
  return ZSDK_ZTMABPerson::recordWithRecord(addressBook_->personWithRecordID(id));
}

std::shared_ptr<ZSDK_ZTMABGroup> ZSDK_ZTMABAddressBook::groupForId(
    platform::contacts::ABRecordID id) const {
  return ZSDK_ZTMABGroup::recordWithRecord(addressBook_->groupWithRecordID(id));
}

std::vector<std::shared_ptr<ZSDK_ZTMABPerson>>
ZSDK_ZTMABAddressBook::peopleWithCompositeNameWithPrefix(std::string_view prefix) const {
  std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> people;
  for (auto& record : addressBook_->peopleWithName(prefix)) {
    people.push_back(ZSDK_ZTMABPerson::recordWithRecord(record));
  }
  return people;
}

std::vector<std::shared_ptr<ZSDK_ZTMABGroup>>
ZSDK_ZTMABAddressBook::groupsWithCompositeNameWithPrefix(std::string_view prefix) const {
  const std::string wanted = folded(prefix);
  std::vector<std::shared_ptr<ZSDK_ZTMABGroup>> found;
  for (const std::shared_ptr<ZSDK_ZTMABGroup>& group : groups()) {
    if (folded(group->compositeName()).starts_with(wanted)) found.push_back(group);
  }
  return found;
}
