#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/address_book.h"
#include "toolbox/address_book/ztm_ab_record.h"

// The app's address book, over the platform's. One thread at a time.
class ZSDK_ZTMABAddressBook {
 public:
  // Nothing when the address book can't be opened.
  static std::shared_ptr<ZSDK_ZTMABAddressBook> addressBook();

  bool save() { return addressBook_->save(); }
  bool hasUnsavedChanges() const { return addressBook_->hasUnsavedChanges(); }
  // False for a missing record.
  bool addRecord(const std::shared_ptr<ZSDK_ZTMABRecord>& record);
  bool removeRecord(const std::shared_ptr<ZSDK_ZTMABRecord>& record);

  std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> people() const;
  std::vector<std::shared_ptr<ZSDK_ZTMABGroup>> groups() const;
  const std::shared_ptr<platform::contacts::ABAddressBook>& addressBookRef() const {
    return addressBook_;
  }
  std::shared_ptr<ZSDK_ZTMABPerson> personForId(platform::contacts::ABRecordID id) const;
  std::shared_ptr<ZSDK_ZTMABGroup> groupForId(platform::contacts::ABRecordID id) const;
  std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> peopleWithCompositeNameWithPrefix(
      std::string_view prefix) const;
  // Groups whose name begins with the text, ignoring case and diacritics.
  std::vector<std::shared_ptr<ZSDK_ZTMABGroup>> groupsWithCompositeNameWithPrefix(
      std::string_view prefix) const;
  static std::string localizedLabel(std::string_view label) {
    return platform::contacts::ABAddressBook::localizedLabel(label);
  }

 private:
  explicit ZSDK_ZTMABAddressBook(std::shared_ptr<platform::contacts::ABAddressBook> book)
      : addressBook_(std::move(book)) {}
  std::shared_ptr<platform::contacts::ABAddressBook> addressBook_;
};
