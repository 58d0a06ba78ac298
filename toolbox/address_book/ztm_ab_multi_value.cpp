#include "toolbox/address_book/ztm_ab_multi_value.h"

#include <cstdio>
#include <functional>

#include "platform/foundation/assertion.h"
#include "platform/foundation/json.h"

using platform::Value;
using platform::contacts::ABMultiValue;
using platform::contacts::ABMultiValueIdentifier;
using platform::contacts::ABPropertyType;

namespace {

// The mark of a multi-value that never changes.
constexpr uint64_t kImmutableMutations = 0;

size_t hashOf(const Value& value) {
  platform::Result<std::string> json = platform::toJSON(value);
  return std::hash<std::string>{}(json ? *json : std::string());
}

}  // namespace

std::shared_ptr<ZSDK_ZTMABMultiValue> ZSDK_ZTMABMultiValue::withMultiValue(
    std::shared_ptr<ABMultiValue> multiValue) {
  if (!multiValue) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABMultiValue>(new ZSDK_ZTMABMultiValue(std::move(multiValue)));
}

std::shared_ptr<ZSDK_ZTMABMultiValue> ZSDK_ZTMABMultiValue::copy() const {
  return withMultiValue(multiValue_);
}

std::shared_ptr<ZSDK_ZTMABMutableMultiValue> ZSDK_ZTMABMultiValue::mutableCopy() const {
  return ZSDK_ZTMABMutableMultiValue::withMultiValue(multiValue_);
}

std::optional<Value> ZSDK_ZTMABMultiValue::valueAtIndex(size_t index) const {
  if (index >= count()) return std::nullopt;
  return multiValue_->valueAt(index);
}

std::optional<std::string> ZSDK_ZTMABMultiValue::labelAtIndex(size_t index) const {
  if (index >= count()) return std::nullopt;
  return multiValue_->labelAt(index);
}

ABMultiValueIdentifier ZSDK_ZTMABMultiValue::identifierAtIndex(size_t index) const {
  if (index >= count()) return platform::contacts::kABMultiValueInvalidIdentifier;
  return multiValue_->identifierAt(index);
}

int64_t ZSDK_ZTMABMultiValue::indexForIdentifier(ABMultiValueIdentifier identifier) const {
  std::optional<size_t> index = multiValue_->indexForIdentifier(identifier);
  return index ? static_cast<int64_t>(*index) : kZTMABNotFound;
}

std::optional<Value> ZSDK_ZTMABMultiValue::valueForIdentifier(
    ABMultiValueIdentifier identifier) const {
  return valueAtIndex(static_cast<size_t>(indexForIdentifier(identifier)));
}

std::optional<std::string> ZSDK_ZTMABMultiValue::labelForIdentifier(
    ABMultiValueIdentifier identifier) const {
  return labelAtIndex(static_cast<size_t>(indexForIdentifier(identifier)));
}

size_t ZSDK_ZTMABMultiValue::hash() const {
  size_t hash = 0;
  for (size_t i = 0; i < count(); ++i) {
    hash += std::hash<std::string>{}(multiValue_->labelAt(i)) + hashOf(multiValue_->valueAt(i));
  }
  return hash;
}

bool ZSDK_ZTMABMultiValue::isEqual(const ZSDK_ZTMABMultiValue& other) const {
  if (multiValue_ == other.multiValue_) return true;
  if (count() != other.count()) return false;
  for (size_t i = 0; i < count(); ++i) {
    if (multiValue_->labelAt(i) != other.multiValue_->labelAt(i) ||
        multiValue_->valueAt(i) != other.multiValue_->valueAt(i)) {
      return false;
    }
  }
  return true;
}

const uint64_t* ZSDK_ZTMABMultiValue::mutations() const { return &kImmutableMutations; }

std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> ZSDK_ZTMABMultiValue::valueEnumerator() const {
  return ZSDK_ZTMABMultiValueEnumerator::valueEnumeratorFor(shared_from_this());
}

std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> ZSDK_ZTMABMultiValue::labelEnumerator() const {
  return ZSDK_ZTMABMultiValueEnumerator::labelEnumeratorFor(shared_from_this());
}

std::shared_ptr<ZSDK_ZTMABMutableMultiValue> ZSDK_ZTMABMutableMultiValue::valueWithPropertyType(
    ABPropertyType type) {
  if (type == platform::contacts::kABInvalidPropertyType) return nullptr;
  return withMutableMultiValue(std::make_shared<ABMultiValue>(type));
}

std::shared_ptr<ZSDK_ZTMABMutableMultiValue> ZSDK_ZTMABMutableMultiValue::withMultiValue(
    const std::shared_ptr<ABMultiValue>& multiValue) {
  if (!multiValue) return nullptr;
  return withMutableMultiValue(std::make_shared<ABMultiValue>(*multiValue));
}

std::shared_ptr<ZSDK_ZTMABMutableMultiValue> ZSDK_ZTMABMutableMultiValue::withMutableMultiValue(
    std::shared_ptr<ABMultiValue> multiValue) {
  if (!multiValue) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABMutableMultiValue>(
      new ZSDK_ZTMABMutableMultiValue(std::move(multiValue)));
}

bool ZSDK_ZTMABMutableMultiValue::checkValueType(const std::optional<Value>& value) const {
  if (!value) return false;
  switch (propertyType() & ~platform::contacts::kABMultiValueMask) {
    case platform::contacts::kABStringPropertyType:
      return value->isString();
    case platform::contacts::kABIntegerPropertyType:
    case platform::contacts::kABRealPropertyType:
      return value->isNumber();
    case platform::contacts::kABDateTimePropertyType:
      return value->isDate();
    case platform::contacts::kABDictionaryPropertyType:
      return value->isDictionary();
    default:
      return false;
  }
}

ABMultiValueIdentifier ZSDK_ZTMABMutableMultiValue::addValue(
    const std::optional<Value>& value, const std::optional<std::string>& label) {
  return insertValue(value, label, count());
}

ABMultiValueIdentifier ZSDK_ZTMABMutableMultiValue::insertValue(
    const std::optional<Value>& value, const std::optional<std::string>& label, size_t index) {
  if (index > count() || !label || !checkValueType(value)) {
    return platform::contacts::kABMultiValueInvalidIdentifier;
  }
  ++mutations_;
  return multiValue_->insert(*value, *label, index);
}

bool ZSDK_ZTMABMutableMultiValue::removeValueAndLabelAtIndex(size_t index) {
  if (index >= count()) return false;
  multiValue_->removeAt(index);
  ++mutations_;
  return true;
}

bool ZSDK_ZTMABMutableMultiValue::replaceValueAtIndex(size_t index,
                                                      const std::optional<Value>& value) {
  if (index >= count() || !checkValueType(value)) return false;
  multiValue_->replaceValueAt(index, *value);
  ++mutations_;
  return true;
}

bool ZSDK_ZTMABMutableMultiValue::replaceLabelAtIndex(size_t index, std::string label) {
  if (index >= count()) return false;
  multiValue_->replaceLabelAt(index, std::move(label));
  ++mutations_;
  return true;
}

std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> ZSDK_ZTMABMultiValueEnumerator::valueEnumeratorFor(
    std::shared_ptr<const ZSDK_ZTMABMultiValue> multiValue) {
  if (!multiValue) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator>(
      new ZSDK_ZTMABMultiValueEnumerator(std::move(multiValue), false));
}

std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator> ZSDK_ZTMABMultiValueEnumerator::labelEnumeratorFor(
    std::shared_ptr<const ZSDK_ZTMABMultiValue> multiValue) {
  if (!multiValue) return nullptr;
  return std::shared_ptr<ZSDK_ZTMABMultiValueEnumerator>(
      new ZSDK_ZTMABMultiValueEnumerator(std::move(multiValue), true));
}

std::optional<Value> ZSDK_ZTMABMultiValueEnumerator::nextObject() {
  if (!started_) {
    started_ = true;
    count_ = enumeree_->count();
    mutations_ = *enumeree_->mutations();
  }
  if (*enumeree_->mutations() != mutations_) {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(enumeree_.get()));
    platform::assertionFailure(std::string("*** Collection <ZSDK_ZTMABMutableMultiValue: ") +
                               address + "> was mutated while being enumerated");
    index_ = count_;
    return std::nullopt;
  }
  if (index_ >= count_) return std::nullopt;
  const size_t index = index_++;
  if (!useLabels_) return enumeree_->valueAtIndex(index);
  std::optional<std::string> label = enumeree_->labelAtIndex(index);
  if (!label) return std::nullopt;
  return Value(std::move(*label));
}
