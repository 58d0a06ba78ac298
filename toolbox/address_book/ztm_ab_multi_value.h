#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "platform/contacts/address_book.h"

inline constexpr int64_t kZTMABNotFound = std::numeric_limits<int64_t>::max();

class ZSDK_ZTMABMultiValueEnumerator;
class ZSDK_ZTMABMutableMultiValue;

// A list of labelled values of a multi-value property, over the address book's multi-value,
// which copies share. One thread at a time.
class ZSDK_ZTMABMultiValue : public std::enable_shared_from_this<ZSDK_ZTMABMultiValue> {
 public:
  // Nothing without a multi-value.
  static std::shared_ptr<ZSDK_ZTMABMultiValue> withMultiValue(
      std::shared_ptr<platform::contacts::ABMultiValue> multiValue);
  virtual ~ZSDK_ZTMABMultiValue() = default;

  // A copy on the same multi-value; a mutable copy on a copy of it.
  std::shared_ptr<ZSDK_ZTMABMultiValue> copy() const;
  std::shared_ptr<ZSDK_ZTMABMutableMultiValue> mutableCopy() const;

  const std::shared_ptr<platform::contacts::ABMultiValue>& multiValueRef() const {
    return multiValue_;
  }
  size_t count() const { return multiValue_->count(); }
  platform::contacts::ABPropertyType propertyType() const { return multiValue_->propertyType(); }
  // Nothing (or -1) for an index not below count().
  std::optional<platform::Value> valueAtIndex(size_t index) const;
  std::optional<std::string> labelAtIndex(size_t index) const;
  platform::contacts::ABMultiValueIdentifier identifierAtIndex(size_t index) const;
  // kZTMABNotFound for an unknown identifier.
  int64_t indexForIdentifier(platform::contacts::ABMultiValueIdentifier identifier) const;
  std::optional<platform::Value> valueForIdentifier(
      platform::contacts::ABMultiValueIdentifier identifier) const;
  std::optional<std::string> labelForIdentifier(
      platform::contacts::ABMultiValueIdentifier identifier) const;

  size_t hash() const;
  // The same multi-value, or equal labels and values index by index.
  bool isEqual(const ZSDK_ZTMABMultiValue& other) const;
  // Changes with every change of a mutable multi-value; fixed for this one.
  virtual const uint64_t* mutations() const;

  std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> valueEnumerator() const;
  std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> labelEnumerator() const;

 protected:
  explicit ZSDK_ZTMABMultiValue(std::shared_ptr<platform::contacts::ABMultiValue> multiValue)
      : multiValue_(std::move(multiValue)) {}
  std::shared_ptr<platform::contacts::ABMultiValue> multiValue_;
};

class ZSDK_ZTMABMutableMultiValue : public ZSDK_ZTMABMultiValue {
 public:
  // Nothing for the invalid type.
  static std::shared_ptr<ZSDK_ZTMABMutableMultiValue> valueWithPropertyType(
      platform::contacts::ABPropertyType type);
  // A mutable copy of the multi-value; nothing without one.
  static std::shared_ptr<ZSDK_ZTMABMutableMultiValue> withMultiValue(
      const std::shared_ptr<platform::contacts::ABMultiValue>& multiValue);
  // Wraps the multi-value itself.
  static std::shared_ptr<ZSDK_ZTMABMutableMultiValue> withMutableMultiValue(
      std::shared_ptr<platform::contacts::ABMultiValue> multiValue);

  // Whether the value has the kind of the multi-value's type (without the multi-value bit).
  bool checkValueType(const std::optional<platform::Value>& value) const;
  // The new entry's identifier; -1 without a label or for a value of the wrong kind.
  platform::contacts::ABMultiValueIdentifier addValue(const std::optional<platform::Value>& value,
                                                      const std::optional<std::string>& label);
  // As addValue; also -1 for an index above count() (equal to count() appends).
  platform::contacts::ABMultiValueIdentifier insertValue(
      const std::optional<platform::Value>& value, const std::optional<std::string>& label,
      size_t index);
  bool removeValueAndLabelAtIndex(size_t index);
  bool replaceValueAtIndex(size_t index, const std::optional<platform::Value>& value);
  bool replaceLabelAtIndex(size_t index, std::string label);
  const uint64_t* mutations() const override { return &mutations_; }

 private:
  using ZSDK_ZTMABMultiValue::ZSDK_ZTMABMultiValue;
  uint64_t mutations_ = 0;
};

// Walks the values or labels of a multi-value. A change of the multi-value during the walk is a
// programming error: it is reported ("*** Collection <...> was mutated while being enumerated")
// and the walk ends. One thread at a time.
class ZSDK_ZTMABMultiValueEnumerator {
 public:
  static std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> valueEnumeratorFor(
      std::shared_ptr<const ZSDK_ZTMABMultiValue> multiValue);
  static std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> labelEnumeratorFor(
      std::shared_ptr<const ZSDK_ZTMABMultiValue> multiValue);

  // The next value (labels as texts); nothing at the end.
  std::optional<platform::Value> nextObject();

 private:
  ZSDK_ZTMABMultiValueEnumerator(std::shared_ptr<const ZSDK_ZTMABMultiValue> enumeree,
                                 bool useLabels)
      : enumeree_(std::move(enumeree)), useLabels_(useLabels) {}

  std::shared_ptr<const ZSDK_ZTMABMultiValue> enumeree_;
  bool started_ = false;
  uint64_t mutations_ = 0;
  size_t count_ = 0;
  size_t index_ = 0;
  bool useLabels_;
};
