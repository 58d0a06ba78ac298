#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/contacts/vcard.h"
#include "platform/foundation/error.h"
#include "platform/foundation/value.h"

namespace platform::contacts {

class ABAddressBook;
using ABPropertyID = int32_t;
using ABRecordID = int32_t;
using ABMultiValueIdentifier = int32_t;
inline constexpr ABRecordID kABRecordInvalidID = -1;
inline constexpr ABMultiValueIdentifier kABMultiValueInvalidIdentifier = -1;

enum ABPropertyType : uint32_t {
  kABInvalidPropertyType = 0,
  kABStringPropertyType = 1,
  kABIntegerPropertyType = 2,
  kABRealPropertyType = 3,
  kABDateTimePropertyType = 4,
  kABDictionaryPropertyType = 5,
  kABMultiValueMask = 0x100,
  kABMultiStringPropertyType = 0x101,
  kABMultiIntegerPropertyType = 0x102,
  kABMultiRealPropertyType = 0x103,
  kABMultiDateTimePropertyType = 0x104,
  kABMultiDictionaryPropertyType = 0x105,
};

// The properties kept for people and groups.
inline constexpr ABPropertyID kABPersonFirstNameProperty = 0;
inline constexpr ABPropertyID kABPersonLastNameProperty = 1;
inline constexpr ABPropertyID kABPersonPhoneProperty = 3;
inline constexpr ABPropertyID kABPersonEmailProperty = 4;
inline constexpr ABPropertyID kABPersonOrganizationProperty = 10;
inline constexpr ABPropertyID kABPersonNoteProperty = 14;
inline constexpr ABPropertyID kABPersonBirthdayProperty = 17;
inline constexpr ABPropertyID kABGroupNameProperty = 0;

// The type of a person property; invalid for one not kept.
ABPropertyType personPropertyType(ABPropertyID property);
// "First name", "Phone", ...; "" for one not kept.
std::string personPropertyName(ABPropertyID property);

// A list of labelled values of one type, each with an identifier that stays with it. A value.
class ABMultiValue {
 public:
  explicit ABMultiValue(ABPropertyType type) : type_(type) {}

  ABPropertyType propertyType() const { return type_; }
  size_t count() const { return entries_.size(); }
  // Index below count().
  const Value& valueAt(size_t index) const { return entries_[index].value; }
  const std::string& labelAt(size_t index) const { return entries_[index].label; }
  ABMultiValueIdentifier identifierAt(size_t index) const { return entries_[index].identifier; }
  std::optional<size_t> indexForIdentifier(ABMultiValueIdentifier identifier) const;

  // The entry's identifier; the index may equal count() (appends).
  ABMultiValueIdentifier insert(Value value, std::string label, size_t index);
  ABMultiValueIdentifier add(Value value, std::string label) {
    return insert(std::move(value), std::move(label), count());
  }
  void removeAt(size_t index);
  void replaceValueAt(size_t index, Value value) { entries_[index].value = std::move(value); }
  void replaceLabelAt(size_t index, std::string label) { entries_[index].label = std::move(label); }

  bool operator==(const ABMultiValue&) const = default;

 private:
  struct Entry {
    ABMultiValueIdentifier identifier;
    std::string label;
    Value value;
    bool operator==(const Entry&) const = default;
  };
  ABPropertyType type_;
  std::vector<Entry> entries_;
  ABMultiValueIdentifier nextIdentifier_ = 0;
};

using ABPropertyValue = std::variant<Value, ABMultiValue>;

enum class ABRecordType { Person, Group };

// A person or a group of the address book. Records are shared objects; one thread at a time.
class ABRecord {
 public:
  static std::shared_ptr<ABRecord> createPerson();
  static std::shared_ptr<ABRecord> createGroup();

  ABRecordType type() const { return type_; }
  // kABRecordInvalidID until the record is added to an address book.
  ABRecordID recordID() const { return id_; }
  std::optional<ABPropertyValue> copyValue(ABPropertyID property) const;
  // False for a property the record's kind doesn't keep or a value of another type.
  bool setValue(ABPropertyID property, ABPropertyValue value);
  bool removeValue(ABPropertyID property);
  // "First Last" (or the organisation) for a person, the name for a group.
  std::string compositeName() const;

  const std::optional<Bytes>& imageData() const { return imageData_; }
  void setImageData(std::optional<Bytes> data) { imageData_ = std::move(data); }

  // Groups: members by record id, in the order added, and the members the record's address
  // book holds.
  const std::vector<ABRecordID>& memberIDs() const { return members_; }
  std::vector<std::shared_ptr<ABRecord>> members() const;
  bool addMember(const ABRecord& person);
  bool removeMember(const ABRecord& person);

  VCard toVCard() const;
  // Nothing for a card this book did not write and that has no name.
  static std::shared_ptr<ABRecord> fromVCard(const VCard& card);

 private:
  friend class ABAddressBook;
  explicit ABRecord(ABRecordType type) : type_(type) {}
  ABPropertyType propertyType(ABPropertyID property) const;

  ABRecordType type_;
  ABRecordID id_ = kABRecordInvalidID;
  std::map<ABPropertyID, ABPropertyValue> values_;
  std::optional<Bytes> imageData_;
  std::vector<ABRecordID> members_;
  std::weak_ptr<const ABAddressBook> book_;
};

// The app's address book: a folder of vCard 3.0 files in the app home
// ("Library/AddressBook/<id>.vcf"), read when made and written by save(). One thread at a time.
class ABAddressBook : public std::enable_shared_from_this<ABAddressBook> {
 public:
  static std::filesystem::path folder();
  // Reads the folder (made when missing); unreadable cards are skipped.
  static Result<std::shared_ptr<ABAddressBook>> create();

  bool save();
  bool hasUnsavedChanges() const;
  // False for a record that already belongs to a book.
  bool addRecord(const std::shared_ptr<ABRecord>& record);
  bool removeRecord(const std::shared_ptr<ABRecord>& record);

  std::vector<std::shared_ptr<ABRecord>> allPeople() const;
  std::vector<std::shared_ptr<ABRecord>> allGroups() const;
  std::shared_ptr<ABRecord> personWithRecordID(ABRecordID id) const;
  std::shared_ptr<ABRecord> groupWithRecordID(ABRecordID id) const;
  // People whose first or last name begins with the text (ignoring ASCII case).
  std::vector<std::shared_ptr<ABRecord>> peopleWithName(std::string_view text) const;
  // "_$!<Home>!$_" → "home"; other labels as they are.
  static std::string localizedLabel(std::string_view label);

 private:
  std::shared_ptr<ABRecord> recordWithID(ABRecordID id, ABRecordType type) const;
  std::vector<std::shared_ptr<ABRecord>> recordsOfType(ABRecordType type) const;

  std::map<ABRecordID, std::shared_ptr<ABRecord>> records_;
  // What each file holds, to tell unsaved changes.
  std::map<ABRecordID, std::string> saved_;
  ABRecordID nextID_ = 1;
};

}  // namespace platform::contacts
