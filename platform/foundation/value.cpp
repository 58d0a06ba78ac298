#include "platform/foundation/value.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <utility>

namespace platform {

namespace {
const Value& nullValue() {
  static const Value kNull;
  return kNull;
}

// Up to this many keys a scan is as quick as a hash lookup.
constexpr size_t kIndexedSize = 16;

struct KeyHash {
  using is_transparent = void;
  size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
};
}  // namespace

struct Dictionary::Index {
  std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>> positions;
};

Dictionary::Dictionary() = default;
Dictionary::Dictionary(Dictionary&& other) noexcept = default;
Dictionary& Dictionary::operator=(Dictionary&& other) noexcept = default;
Dictionary::~Dictionary() = default;

Dictionary::Dictionary(std::initializer_list<Entry> entries) {
  entries_.reserve(entries.size());
  for (const Entry& entry : entries) set(entry.first, entry.second);
}

Dictionary::Dictionary(const Dictionary& other) : entries_(other.entries_) {
  if (other.index_) index_ = std::make_unique<Index>(*other.index_);
}

Dictionary& Dictionary::operator=(const Dictionary& other) {
  if (this != &other) *this = Dictionary(other);
  return *this;
}

void Dictionary::reindex() {
  auto index = std::make_unique<Index>();
  index->positions.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) index->positions.emplace(entries_[i].first, i);
  index_ = std::move(index);
}

size_t Dictionary::positionOf(std::string_view key) const {
  if (index_) {
    auto found = index_->positions.find(key);
    return found == index_->positions.end() ? entries_.size() : found->second;
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].first == key) return i;
  }
  return entries_.size();
}

const Value* Dictionary::find(std::string_view key) const {
  const size_t position = positionOf(key);
  return position < entries_.size() ? &entries_[position].second : nullptr;
}

Value* Dictionary::find(std::string_view key) {
  return const_cast<Value*>(std::as_const(*this).find(key));
}

Value& Dictionary::set(std::string key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
    return *existing;
  }
  entries_.emplace_back(std::move(key), std::move(value));
  if (index_) {
    index_->positions.emplace(entries_.back().first, entries_.size() - 1);
  } else if (entries_.size() > kIndexedSize) {
    reindex();
  }
  return entries_.back().second;
}

bool Dictionary::remove(std::string_view key) {
  const size_t position = positionOf(key);
  if (position == entries_.size()) return false;
  // Before the entry goes: the key may be a view of its own text.
  if (index_) index_->positions.erase(index_->positions.find(key));
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  if (!index_) return true;
  if (entries_.size() <= kIndexedSize) {
    index_.reset();
    return true;
  }
  // The later entries moved up by one.
  for (size_t i = position; i < entries_.size(); ++i) index_->positions[entries_[i].first] = i;
  return true;
}

void Dictionary::clear() {
  entries_.clear();
  index_.reset();
}

std::vector<std::string> Dictionary::keys() const {
  std::vector<std::string> result;
  result.reserve(entries_.size());
  for (const Entry& entry : entries_) result.push_back(entry.first);
  return result;
}

bool Dictionary::operator==(const Dictionary& other) const {
  if (size() != other.size()) return false;
  for (const Entry& entry : entries_) {
    const Value* theirs = other.find(entry.first);
    if (!theirs || !(*theirs == entry.second)) return false;
  }
  return true;
}

std::optional<int64_t> Value::asInteger() const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(storage_) ? 1 : 0;
    case Type::Integer:
      return std::get<int64_t>(storage_);
    case Type::Real: {
      double d = std::get<double>(storage_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2233720368547758e18) return INT64_MAX;
      if (d <= -9.2233720368547758e18) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    default:
      return std::nullopt;
  }
}

std::optional<double> Value::asDouble() const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(storage_) ? 1.0 : 0.0;
    case Type::Integer:
      return static_cast<double>(std::get<int64_t>(storage_));
    case Type::Real:
      return std::get<double>(storage_);
    default:
      return std::nullopt;
  }
}

std::optional<bool> Value::asBool() const {
  switch (type()) {
    case Type::Bool:
      return std::get<bool>(storage_);
    case Type::Integer:
      return std::get<int64_t>(storage_) != 0;
    case Type::Real:
      return std::get<double>(storage_) != 0.0;
    default:
      return std::nullopt;
  }
}

std::string Value::stringOr(std::string_view fallback) const {
  if (const std::string* s = stringIf()) return *s;
  return std::string(fallback);
}

const Value& Value::operator[](std::string_view key) const {
  if (const Dictionary* dict = dictionaryIf()) {
    if (const Value* found = dict->find(key)) return *found;
  }
  return nullValue();
}

const Value& Value::at(size_t index) const {
  if (const Array* items = arrayIf(); items && index < items->size()) return (*items)[index];
  return nullValue();
}

size_t Value::size() const {
  if (const Array* items = arrayIf()) return items->size();
  if (const Dictionary* dict = dictionaryIf()) return dict->size();
  return 0;
}

bool Value::set(std::string key, Value value) {
  if (isNull()) storage_ = Dictionary();
  Dictionary* dict = dictionaryIf();
  if (!dict) return false;
  dict->set(std::move(key), std::move(value));
  return true;
}

bool Value::append(Value value) {
  if (isNull()) storage_ = Array();
  Array* items = arrayIf();
  if (!items) return false;
  items->push_back(std::move(value));
  return true;
}

bool Value::remove(std::string_view key) {
  Dictionary* dict = dictionaryIf();
  return dict && dict->remove(key);
}

namespace {
void describeInto(const Value& value, std::string& out) {
  switch (value.type()) {
    case Value::Type::Null:
      out += "null";
      break;
    case Value::Type::Bool:
      out += *value.asBool() ? "true" : "false";
      break;
    case Value::Type::Integer:
      out += std::to_string(*value.asInteger());
      break;
    case Value::Type::Real: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.17g", *value.asDouble());
      out += buffer;
      break;
    }
    case Value::Type::String:
      out += '"';
      out += *value.stringIf();
      out += '"';
      break;
    case Value::Type::Data: {
      out += '<';
      static const char kHex[] = "0123456789abcdef";
      for (uint8_t byte : *value.dataIf()) {
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
      }
      out += '>';
      break;
    }
    case Value::Type::Date: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "@%.3f", value.dateIf()->secondsSince1970);
      out += buffer;
      break;
    }
    case Value::Type::Array: {
      out += '[';
      bool first = true;
      for (const Value& item : *value.arrayIf()) {
        if (!first) out += ", ";
        first = false;
        describeInto(item, out);
      }
      out += ']';
      break;
    }
    case Value::Type::Dictionary: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : *value.dictionaryIf()) {
        if (!first) out += ", ";
        first = false;
        out += key;
        out += ": ";
        describeInto(item, out);
      }
      out += '}';
      break;
    }
  }
}
}  // namespace

std::string describe(const Value& value) {
  std::string out;
  describeInto(value, out);
  return out;
}

}  // namespace platform
