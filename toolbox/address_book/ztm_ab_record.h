#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/contacts/address_book.h"
#include "platform/ui/image.h"
#include "toolbox/address_book/ztm_ab_multi_value.h"

// A property's value as the wrappers hand it out: a plain value or a multi-value.
using ZTMABValue = std::variant<platform::Value, std::shared_ptr<ZSDK_ZTMABMultiValue>>;

// A record of the address book (a person or a group) over the address book's record. Abstract:
// the kinds say which properties they keep. One thread at a time.
class ZSDK_ZTMABRecord {
 public:
  virtual ~ZSDK_ZTMABRecord() = default;

  const std::shared_ptr<platform::contacts::ABRecord>& recordRef() const { return record_; }
  platform::contacts::ABRecordID recordID() const { return record_->recordID(); }
  size_t hash() const { return std::hash<const void*>{}(record_.get()); }
  bool isEqual(const ZSDK_ZTMABRecord& other) const { return record_ == other.record_; }

  // Multi-value properties come wrapped.
  std::optional<ZTMABValue> valueForProperty(platform::contacts::ABPropertyID property) const;
  // False for a missing value or one whose kind is not the property type's (multi-integer
  // properties take none).
  bool setValue(const std::optional<ZTMABValue>& value, platform::contacts::ABPropertyID property);
  // False when the record has no value for it.
  bool removeValueForProperty(platform::contacts::ABPropertyID property);

  virtual std::string compositeName() const = 0;
  virtual platform::contacts::ABPropertyType typeOfProperty(
      platform::contacts::ABPropertyID property) const = 0;
  virtual std::string localizedPropertyName(platform::contacts::ABPropertyID property) const = 0;
  virtual std::string description() const = 0;

 protected:
  explicit ZSDK_ZTMABRecord(std::shared_ptr<platform::contacts::ABRecord> record)
      : record_(std::move(record)) {}
  std::shared_ptr<platform::contacts::ABRecord> record_;
};

class ZSDK_ZTMABPerson : public ZSDK_ZTMABRecord {
 public:
  // A new person.
  static std::shared_ptr<ZSDK_ZTMABPerson> create();
  // Nothing without a record or for a record of a group.
  static std::shared_ptr<ZSDK_ZTMABPerson> recordWithRecord(
      std::shared_ptr<platform::contacts::ABRecord> record);
  // A new person with the names given; nothing when one can't be set.
  static std::shared_ptr<ZSDK_ZTMABPerson> personWithFirstName(
      const std::optional<std::string>& first, const std::optional<std::string>& last);

  // Nothing removes the picture; data that is not an image is refused.
  bool setImageData(const std::optional<platform::Bytes>& data);
  std::optional<platform::Bytes> imageData() const { return record_->imageData(); }
  std::optional<platform::ui::Image> image() const;
  // Stored as PNG; nothing removes the picture.
  bool setImage(const std::optional<platform::ui::Image>& image);

  std::string compositeName() const override { return record_->compositeName(); }
  platform::contacts::ABPropertyType typeOfProperty(
      platform::contacts::ABPropertyID property) const override;
  std::string localizedPropertyName(platform::contacts::ABPropertyID property) const override;
  // First name then last name.
  static int compositeNameFormat() { return 0; }
  std::string description() const override;

 private:
  using ZSDK_ZTMABRecord::ZSDK_ZTMABRecord;
};

class ZSDK_ZTMABGroup : public ZSDK_ZTMABRecord {
 public:
  static std::shared_ptr<ZSDK_ZTMABGroup> create();
  static std::shared_ptr<ZSDK_ZTMABGroup> recordWithRecord(
      std::shared_ptr<platform::contacts::ABRecord> record);
  static std::shared_ptr<ZSDK_ZTMABGroup> groupNamed(const std::string& name);

  std::vector<std::shared_ptr<ZSDK_ZTMABPerson>> members() const;
  bool addMember(const std::shared_ptr<ZSDK_ZTMABPerson>& person);
  bool removeMember(const std::shared_ptr<ZSDK_ZTMABPerson>& person);

  std::string compositeName() const override { return record_->compositeName(); }
  platform::contacts::ABPropertyType typeOfProperty(
      platform::contacts::ABPropertyID property) const override;
  // The main bundle's "Name" of the "ZTMABAddressBook" table for the name, "UNKNOWN_PROPERTY"
  // for anything else.
  std::string localizedPropertyName(platform::contacts::ABPropertyID property) const override;
  std::string description() const override;

 private:
  using ZSDK_ZTMABRecord::ZSDK_ZTMABRecord;
};
