#include "toolbox/address_book/ztm_ab_record.h"

#include "platform/storage/bundle.h"
#include "platform/ui/image_file.h"

using platform::Value;
using platform::contacts::ABMultiValue;
using platform::contacts::ABPropertyID;
using platform::contacts::ABPropertyType;
using platform::contacts::ABRecord;
using platform::contacts::ABRecordType;

namespace {

// Whether the value is of the kind the property type takes.
bool fitsType(const ZTMABValue& value, ABPropertyType type) {
  using namespace platform::contacts;
  const auto* multi = std::get_if<std::shared_ptr<ZSDK_ZTMABMultiValue>>(&value);
  const Value* plain = std::get_if<Value>(&value);
  switch (type) {
    case kABStringPropertyType:
      return plain && plain->isString();
    case kABIntegerPropertyType:
    case kABRealPropertyType:
      return plain && plain->isNumber();
    case kABDateTimePropertyType:
      return plain && plain->isDate();
    case kABDictionaryPropertyType:
      return plain && plain->isDictionary();
    case kABMultiStringPropertyType:
    case kABMultiRealPropertyType:
    case kABMultiDateTimePropertyType:
    case kABMultiDictionaryPropertyType:
      return multi && *multi;
    default:
      return false;  // multi-integer has no row
  }
}

}  // namespace

std::optional<ZTMABValue> ZSDK_ZTMABRecord::valueForProperty(ABPropertyID property) const {
  std::optional<platform::contacts::ABPropertyValue> value = record_->copyValue(property);
  if (!value) return std::nullopt;
  if (const auto* multi = std::get_if<ABMultiValue>(&*value)) {
    if (!(typeOfProperty(property) & platform::contacts::kABMultiValueMask)) return std::nullopt;
    return ZSDK_ZTMABMultiValue::withMultiValue(std::make_shared<ABMultiValue>(*multi));
  }
  return std::get<Value>(*value);
}

bool ZSDK_ZTMABRecord::setValue(const std::optional<ZTMABValue>& value, ABPropertyID property) {
  if (!value || !fitsType(*value, typeOfProperty(property))) return false;
  if (const auto* multi = std::get_if<std::shared_ptr<ZSDK_ZTMABMultiValue>>(&*value)) {
    return record_->setValue(property, *(*multi)->multiValueRef());
  }
  return record_->setValue(property, std::get<Value>(*value));
}

bool ZSDK_ZTMABRecord::removeValueForProperty(ABPropertyID property) {
  return record_->removeValue(property);
}

std::shared_ptr<ZSDK_ZTMABPerson> ZSDK_ZTMABPerson::create() {
  return recordWithRecord(ABRecord::createPerson());
}

std::shared_ptr<ZSDK_ZTMABPerson> ZSDK_ZTMABPerson::recordWithRecord(
    std::shared_ptr<ABRecord> record) {
  if (!record || record->type() != ABRecordType::Person) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABPerson>(new ZSDK_ZTMABPerson(std::move(record)));
}

std::shared_ptr<ZSDK_ZTMABPerson> ZSDK_ZTMABPerson::personWithFirstName(
    const std::optional<std::string>& first, const std::optional<std::string>& last) {
  std::shared_ptr<ZSDK_ZTMABPerson> person = create();
  if (first && !person->setValue(Value(*first), platform::contacts::kABPersonFirstNameProperty)) {
    return nullptr;
  }
  if (last && !person->setValue(Value(*last), platform::contacts::kABPersonLastNameProperty)) {
    return nullptr;
  }
  return person;
}

bool ZSDK_ZTMABPerson::setImageData(const std::optional<platform::Bytes>& data) {
  if (!data) {
    record_->setImageData(std::nullopt);
    return true;
  }
  if (!platform::ui::decodeImageData(*data).ok()) return false;
  record_->setImageData(*data);
  return true;
}

std::optional<platform::ui::Image> ZSDK_ZTMABPerson::image() const {
  std::optional<platform::Bytes> data = imageData();
  if (!data) return std::nullopt;
  platform::Result<platform::ui::Image> decoded = platform::ui::decodeImageData(*data);
  if (!decoded) return std::nullopt;
  return *decoded;
}

bool ZSDK_ZTMABPerson::setImage(const std::optional<platform::ui::Image>& image) {
  if (!image) return setImageData(std::nullopt);
  platform::Result<platform::Bytes> png = platform::ui::pngDataOfImage(*image);
  return setImageData(png ? std::optional<platform::Bytes>(*png) : std::nullopt);
}

ABPropertyType ZSDK_ZTMABPerson::typeOfProperty(ABPropertyID property) const {
  return platform::contacts::personPropertyType(property);
}

std::string ZSDK_ZTMABPerson::localizedPropertyName(ABPropertyID property) const {
  return platform::contacts::personPropertyName(property);
}

std::string ZSDK_ZTMABPerson::description() const {
  auto text = [this](ABPropertyID property) {
    std::optional<ZTMABValue> value = valueForProperty(property);
    const Value* plain = value ? std::get_if<Value>(&*value) : nullptr;
    return plain ? plain->stringOr("(null)") : std::string("(null)");
  };
  return "ZSDK_ZTMABPerson " + text(platform::contacts::kABPersonFirstNameProperty) + " " +
         text(platform::contacts::kABPersonLastNameProperty) + " " + std::to_string(recordID());
}

std::shared_ptr<ZSDK_ZTMABGroup> ZSDK_ZTMABGroup::create() {
  return recordWithRecord(ABRecord::createGroup());
}

std::shared_ptr<ZSDK_ZTMABGroup> ZSDK_ZTMABGroup::recordWithRecord(
    std::shared_ptr<ABRecord> record) {
  if (!record || record->type() != ABRecordType::Group) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABGroup>(new ZSDK_ZTMABGroup(std::move(record)));
}

std::shared_ptr<ZSDK_ZTMABGroup> ZSDK_ZTMABGroup::groupNamed(const std::string& name) {
  std::shared_ptr<ZSDK_ZTMABGroup> group = create();
  if (!group->setValue(Value(name), platform::contacts::kABGroupNameProperty)) return nullptr;
  return group;
}

std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> ZSDK_ZTMABGroup::members() const {
  std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> people;
  for (std::shared_ptr<ABRecord> member : record_->members()) {
    if (auto person = ZSDK_ZTMABPerson::recordWithRecord(std::move(member))) {
      people.push_back(std::move(person));
    }
  }
  return people;
}

bool ZSDK_ZTMABGroup::addMember(const std::shared_ptr<ZSDK_ZTMABPerson>& person) {
  return person && record_->addMember(*person->recordRef());
}

bool ZSDK_ZTMABGroup::removeMember(const std::shared_ptr<ZSDK_ZTMABPerson>& person) {
  return person && record_->removeMember(*person->recordRef());
}

ABPropertyType ZSDK_ZTMABGroup::typeOfProperty(ABPropertyID property) const {
  return property == platform::contacts::kABGroupNameProperty
             ? platform::contacts::kABStringPropertyType
             : platform::contacts::kABInvalidPropertyType;
}

std::string ZSDK_ZTMABGroup::localizedPropertyName(ABPropertyID property) const {
  if (property != platform::contacts::kABGroupNameProperty) return "UNKNOWN_PROPERTY";
  return platform::Bundle::mainBundle()
      ->localizedStringIfPresent("Name", "ZTMABAddressBook")
      .value_or("");
}

std::string ZSDK_ZTMABGroup::description() const {
  return "ZSDK_ZTMABGroup " + compositeName() + " " + std::to_string(recordID());
}
