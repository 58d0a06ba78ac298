#include "platform/contacts/address_book.h"

#include <algorithm>
#include <ctime>

#include "platform/foundation/base64.h"
#include "platform/foundation/log.h"
#include "platform/foundation/text_number.h"
#include "platform/storage/app_environment.h"
#include "platform/storage/file_manager.h"

namespace platform::contacts {

namespace fs = std::filesystem;

namespace {

// Multi-value properties and their vCard names.
struct MultiProperty {
  ABPropertyID property;
  const char* vCardName;
};
constexpr MultiProperty kMultiProperties[] = {{kABPersonPhoneProperty, "TEL"},
                                              {kABPersonEmailProperty, "EMAIL"}};
// Single text properties and their vCard names.
constexpr MultiProperty kTextProperties[] = {{kABPersonOrganizationProperty, "ORG"},
                                             {kABPersonNoteProperty, "NOTE"}};

std::string lowercased(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return lower;
}

std::string dateText(Date date) {
  const auto seconds = static_cast<time_t>(date.secondsSince1970);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &parts);
  return buffer;
}

std::optional<Date> dateOfText(std::string_view text) {
  std::tm parts{};
  const std::string copy(text);
  const char* end = strptime(copy.c_str(), "%Y-%m-%d", &parts);
  if (!end) return std::nullopt;
  return Date{static_cast<double>(timegm(&parts))};
}

// A copy: the values come from temporaries.
std::optional<std::string> textOf(const std::optional<ABPropertyValue>& value) {
  const Value* plain = value ? std::get_if<Value>(&*value) : nullptr;
  const std::string* text = plain ? plain->stringIf() : nullptr;
  if (!text) return std::nullopt;
  return *text;
}

bool matchesType(const ABPropertyValue& value, ABPropertyType type) {
  if (const auto* multi = std::get_if<ABMultiValue>(&value)) return multi->propertyType() == type;
  const Value& plain = std::get<Value>(value);
  switch (type) {
    case kABStringPropertyType:
      return plain.isString();
    case kABIntegerPropertyType:
      return plain.isInteger();
    case kABRealPropertyType:
      return plain.isNumber();
    case kABDateTimePropertyType:
      return plain.isDate();
    case kABDictionaryPropertyType:
      return plain.isDictionary();
    default:
      return false;
  }
}

}  // namespace

ABPropertyType personPropertyType(ABPropertyID property) {
  switch (property) {
    case kABPersonFirstNameProperty:
    case kABPersonLastNameProperty:
    case kABPersonOrganizationProperty:
    case kABPersonNoteProperty:
      return kABStringPropertyType;
    case kABPersonPhoneProperty:
    case kABPersonEmailProperty:
      return kABMultiStringPropertyType;
    case kABPersonBirthdayProperty:
      return kABDateTimePropertyType;
    default:
      return kABInvalidPropertyType;
  }
}

std::string personPropertyName(ABPropertyID property) {
  switch (property) {
    case kABPersonFirstNameProperty:
      return "First name";
    case kABPersonLastNameProperty:
      return "Last name";
    case kABPersonOrganizationProperty:
      return "Company";
    case kABPersonNoteProperty:
      return "Note";
    case kABPersonPhoneProperty:
      return "Phone";
    case kABPersonEmailProperty:
      return "Email";
    case kABPersonBirthdayProperty:
      return "Birthday";
    default:
      return "";
  }
}

std::optional<size_t> ABMultiValue::indexForIdentifier(ABMultiValueIdentifier identifier) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].identifier == identifier) return i;
  }
  return std::nullopt;
}

ABMultiValueIdentifier ABMultiValue::insert(Value value, std::string label, size_t index) {
  const ABMultiValueIdentifier identifier = nextIdentifier_++;
  entries_.insert(entries_.begin() + static_cast<ptrdiff_t>(std::min(index, entries_.size())),
                  Entry{identifier, std::move(label), std::move(value)});
  return identifier;
}

void ABMultiValue::removeAt(size_t index) {
  entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(index));
}

std::shared_ptr<ABRecord> ABRecord::createPerson() {
  return std::shared_ptr<ABRecord>(new ABRecord(ABRecordType::Person));
}

std::shared_ptr<ABRecord> ABRecord::createGroup() {
  return std::shared_ptr<ABRecord>(new ABRecord(ABRecordType::Group));
}

ABPropertyType ABRecord::propertyType(ABPropertyID property) const {
  if (type_ == ABRecordType::Person) return personPropertyType(property);
  return property == kABGroupNameProperty ? kABStringPropertyType : kABInvalidPropertyType;
}

std::optional<ABPropertyValue> ABRecord::copyValue(ABPropertyID property) const {
  auto found = values_.find(property);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

bool ABRecord::setValue(ABPropertyID property, ABPropertyValue value) {
  const ABPropertyType type = propertyType(property);
  if (type == kABInvalidPropertyType || !matchesType(value, type)) return false;
  values_[property] = std::move(value);
  return true;
}

bool ABRecord::removeValue(ABPropertyID property) { return values_.erase(property) > 0; }

std::string ABRecord::compositeName() const {
  if (type_ == ABRecordType::Group) {
    return textOf(copyValue(kABGroupNameProperty)).value_or("");
  }
  std::string name;
  for (ABPropertyID part : {kABPersonFirstNameProperty, kABPersonLastNameProperty}) {
    if (std::optional<std::string> text = textOf(copyValue(part)); text && !text->empty()) {
      name += (name.empty() ? "" : " ") + *text;
    }
  }
  if (name.empty()) {
    name = textOf(copyValue(kABPersonOrganizationProperty)).value_or("");
  }
  return name;
}

bool ABRecord::addMember(const ABRecord& person) {
  if (type_ != ABRecordType::Group || person.type_ != ABRecordType::Person ||
      person.id_ == kABRecordInvalidID) {
    return false;
  }
  if (std::find(members_.begin(), members_.end(), person.id_) == members_.end()) {
    members_.push_back(person.id_);
  }
  return true;
}

std::vector<std::shared_ptr<ABRecord>> ABRecord::members() const {
  std::vector<std::shared_ptr<ABRecord>> found;
  std::shared_ptr<const ABAddressBook> book = book_.lock();
  for (ABRecordID id : members_) {
    if (std::shared_ptr<ABRecord> person = book ? book->personWithRecordID(id) : nullptr) {
      found.push_back(std::move(person));
    }
  }
  return found;
}

bool ABRecord::removeMember(const ABRecord& person) { return std::erase(members_, person.id_) > 0; }

VCard ABRecord::toVCard() const {
  VCard card;
  card.push_back({"X-VOKARU-ID", {}, std::to_string(id_)});
  card.push_back({"FN", {}, vCardEscaped(compositeName())});
  if (type_ == ABRecordType::Group) {
    card.push_back({"X-VOKARU-KIND", {}, "group"});
    for (ABRecordID member : members_) {
      card.push_back({"X-VOKARU-MEMBER", {}, std::to_string(member)});
    }
    return card;
  }
  auto text = [this](ABPropertyID property) {
    std::optional<std::string> value = textOf(copyValue(property));
    return value ? *value : std::string();
  };
  card.push_back({"N",
                  {},
                  vCardJoined({text(kABPersonLastNameProperty), text(kABPersonFirstNameProperty),
                               "", "", ""})});
  for (const MultiProperty& single : kTextProperties) {
    if (values_.contains(single.property)) {
      card.push_back({single.vCardName, {}, vCardEscaped(text(single.property))});
    }
  }
  if (auto birthday = copyValue(kABPersonBirthdayProperty)) {
    if (const Date* date = std::get<Value>(*birthday).dateIf()) {
      card.push_back({"BDAY", {}, dateText(*date)});
    }
  }
  for (const MultiProperty& multi : kMultiProperties) {
    auto value = copyValue(multi.property);
    const auto* list = value ? std::get_if<ABMultiValue>(&*value) : nullptr;
    for (size_t i = 0; list && i < list->count(); ++i) {
      card.push_back({multi.vCardName,
                      {{"TYPE", list->labelAt(i)}},
                      vCardEscaped(list->valueAt(i).stringOr(""))});
    }
  }
  if (imageData_) card.push_back({"PHOTO", {{"ENCODING", "b"}}, base64Encode(*imageData_)});
  return card;
}

std::shared_ptr<ABRecord> ABRecord::fromVCard(const VCard& card) {
  const bool group = std::any_of(card.begin(), card.end(), [](const VCardProperty& p) {
    return p.name == "X-VOKARU-KIND" && lowercased(p.value) == "group";
  });
  std::shared_ptr<ABRecord> record = group ? createGroup() : createPerson();
  bool named = false;
  for (const VCardProperty& property : card) {
    if (property.name == "X-VOKARU-ID") {
      record->id_ = static_cast<ABRecordID>(integerValueOfText(property.value));
    } else if (property.name == "FN" && group) {
      named = record->setValue(kABGroupNameProperty, Value(vCardUnescaped(property.value)));
    } else if (property.name == "X-VOKARU-MEMBER" && group) {
      record->members_.push_back(static_cast<ABRecordID>(integerValueOfText(property.value)));
    } else if (property.name == "N" && !group) {
      const std::vector<std::string> parts = vCardComponents(property.value);
      if (!parts[0].empty()) record->setValue(kABPersonLastNameProperty, Value(parts[0]));
      if (parts.size() > 1 && !parts[1].empty()) {
        record->setValue(kABPersonFirstNameProperty, Value(parts[1]));
      }
      named = true;
    } else if (property.name == "BDAY" && !group) {
      if (std::optional<Date> date = dateOfText(property.value)) {
        record->setValue(kABPersonBirthdayProperty, Value(*date));
      }
    } else if (property.name == "PHOTO" && !group) {
      record->imageData_ = base64Decode(property.value);
    }
    for (const MultiProperty& single : kTextProperties) {
      if (!group && property.name == single.vCardName) {
        record->setValue(single.property, Value(vCardUnescaped(property.value)));
      }
    }
    for (const MultiProperty& multi : kMultiProperties) {
      if (group || property.name != multi.vCardName) continue;
      auto existing = record->copyValue(multi.property);
      ABMultiValue list =
          existing ? std::get<ABMultiValue>(*existing) : ABMultiValue(kABMultiStringPropertyType);
      list.add(Value(vCardUnescaped(property.value)), property.parameter("TYPE"));
      record->setValue(multi.property, std::move(list));
    }
  }
  if (!named && record->id_ == kABRecordInvalidID) return nullptr;
  return record;
}

fs::path ABAddressBook::folder() {
  return AppEnvironment::current()->appHome() / "Library" / "AddressBook";
}

Result<std::shared_ptr<ABAddressBook>> ABAddressBook::create() {
  const fs::path where = folder();
  if (Status made = FileManager::createDirectory(where); !made) return made.error();
  Result<std::vector<std::string>> names = FileManager::contentsOfDirectory(where);
  if (!names) return names.error();
  auto book = std::make_shared<ABAddressBook>();
  for (const std::string& name : *names) {
    if (!name.ends_with(".vcf")) continue;
    Result<Bytes> content = FileManager::contentsOfFile(where / name);
    if (!content) continue;
    for (const VCard& card : parseVCards(stringOf(*content))) {
      std::shared_ptr<ABRecord> record = ABRecord::fromVCard(card);
      // Only cards this book wrote carry an id that matches their file.
      if (!record || std::to_string(record->id_) + ".vcf" != name) {
        logf("Skipping the contact card %s: not one of this address book", name.c_str());
        continue;
      }
      record->book_ = book;
      book->records_[record->id_] = record;
      book->saved_[record->id_] = writeVCard(record->toVCard());
      book->nextID_ = std::max(book->nextID_, record->id_ + 1);
    }
  }
  return book;
}

bool ABAddressBook::hasUnsavedChanges() const {
  if (records_.size() != saved_.size()) return true;
  for (const auto& [id, record] : records_) {
    auto saved = saved_.find(id);
    if (saved == saved_.end() || saved->second != writeVCard(record->toVCard())) return true;
  }
  return false;
}

bool ABAddressBook::save() {
  const fs::path where = folder();
  if (!FileManager::createDirectory(where)) return false;
  bool ok = true;
  for (auto saved = saved_.begin(); saved != saved_.end();) {
    if (records_.contains(saved->first)) {
      ++saved;
      continue;
    }
    if (FileManager::removeItem(where / (std::to_string(saved->first) + ".vcf"))) {
      saved = saved_.erase(saved);
    } else {
      ok = false;
      ++saved;
    }
  }
  for (const auto& [id, record] : records_) {
    const std::string card = writeVCard(record->toVCard());
    if (saved_[id] == card) continue;
    if (FileManager::writeAtomically(where / (std::to_string(id) + ".vcf"), bytesOf(card))) {
      saved_[id] = card;
    } else {
      saved_.erase(id);
      ok = false;
    }
  }
  return ok;
}

bool ABAddressBook::addRecord(const std::shared_ptr<ABRecord>& record) {
  if (!record || record->id_ != kABRecordInvalidID) return false;
  record->id_ = nextID_++;
  record->book_ = weak_from_this();
  records_[record->id_] = record;
  return true;
}

bool ABAddressBook::removeRecord(const std::shared_ptr<ABRecord>& record) {
  if (!record) return false;
  auto found = records_.find(record->id_);
  if (found == records_.end() || found->second != record) return false;
  records_.erase(found);
  record->book_.reset();
  for (auto& [id, other] : records_) {
    if (other->type_ == ABRecordType::Group) std::erase(other->members_, record->id_);
  }
  return true;
}

std::vector<std::shared_ptr<ABRecord>> ABAddressBook::recordsOfType(ABRecordType type) const {
  std::vector<std::shared_ptr<ABRecord>> found;
  for (const auto& [id, record] : records_) {
    if (record->type_ == type) found.push_back(record);
  }
  return found;
}

std::vector<std::shared_ptr<ABRecord>> ABAddressBook::allPeople() const {
  return recordsOfType(ABRecordType::Person);
}

std::vector<std::shared_ptr<ABRecord>> ABAddressBook::allGroups() const {
  return recordsOfType(ABRecordType::Group);
}

std::shared_ptr<ABRecord> ABAddressBook::recordWithID(ABRecordID id, ABRecordType type) const {
  auto found = records_.find(id);
  return found != records_.end() && found->second->type_ == type ? found->second : nullptr;
}

std::shared_ptr<ABRecord> ABAddressBook::personWithRecordID(ABRecordID id) const {
  return recordWithID(id, ABRecordType::Person);
}

std::shared_ptr<ABRecord> ABAddressBook::groupWithRecordID(ABRecordID id) const {
  return recordWithID(id, ABRecordType::Group);
}

std::vector<std::shared_ptr<ABRecord>> ABAddressBook::peopleWithName(std::string_view text) const {
  const std::string prefix = lowercased(text);
  std::vector<std::shared_ptr<ABRecord>> found;
  for (const std::shared_ptr<ABRecord>& person : allPeople()) {
    for (ABPropertyID part : {kABPersonFirstNameProperty, kABPersonLastNameProperty}) {
      std::optional<std::string> name = textOf(person->copyValue(part));
      if (name && lowercased(*name).starts_with(prefix)) {
        found.push_back(person);
        break;
      }
    }
  }
  return found;
}

std::string ABAddressBook::localizedLabel(std::string_view label) {
  if (label.starts_with("_$!<") && label.ends_with(">!$_") && label.size() >= 8) {
    return lowercased(label.substr(4, label.size() - 8));
  }
  return std::string(label);
}

}  // namespace platform::contacts
