#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace platform {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }
inline std::string stringOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A point in time, as seconds since 1970-01-01 00:00:00 UTC.
struct Date {
  double secondsSince1970 = 0;
  auto operator<=>(const Date&) const = default;
};

class Value;

// A dictionary that keeps its keys in insertion order, so enumeration is stable and reproducible.
// Keys must not be changed through its iterators.
class Dictionary {
 public:
  using Entry = std::pair<std::string, Value>;
  using iterator = std::vector<Entry>::iterator;
  using const_iterator = std::vector<Entry>::const_iterator;

  Dictionary();
  Dictionary(std::initializer_list<Entry> entries);
  Dictionary(const Dictionary& other);
  Dictionary(Dictionary&& other) noexcept;
  Dictionary& operator=(const Dictionary& other);
  Dictionary& operator=(Dictionary&& other) noexcept;
  ~Dictionary();

  size_t size() const;
  bool empty() const;
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  // Replaces the value of an existing key in place (keeping its position) or appends a new key.
  Value& set(std::string key, Value value);
  bool remove(std::string_view key);
  void clear();
  std::vector<std::string> keys() const;

  iterator begin();
  iterator end();
  const_iterator begin() const;
  const_iterator end() const;

  // Equal when both hold the same keys with equal values, in any order.
  bool operator==(const Dictionary& other) const;

 private:
  // Key positions, kept once a dictionary outgrows a short scan, so that building and reading a
  // large one (a hostile JSON object may hold many thousands of keys) takes linear time.
  struct Index;
  // The key's position in entries_, or entries_.size() when it is absent.
  size_t positionOf(std::string_view key) const;
  void reindex();

  std::vector<Entry> entries_;
  std::unique_ptr<Index> index_;  // null while the dictionary is small
};

// The platform's property-list value: null, boolean, 64-bit integer, real, UTF-8 string, bytes,
// date, array or dictionary. Values have value semantics: copies are deep.
class Value {
 public:
  enum class Type : uint8_t { Null, Bool, Integer, Real, String, Data, Date, Array, Dictionary };
  using Array = std::vector<Value>;

  Value() = default;
  Value(std::nullptr_t) {}        // NOLINT(*-explicit-constructor)
  Value(bool b) : storage_(b) {}  // NOLINT(*-explicit-constructor)
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) Value(T n)
      : storage_(fromIntegral(n)) {}                           // NOLINT(*-explicit-constructor)
  Value(double d) : storage_(d) {}                             // NOLINT(*-explicit-constructor)
  Value(float f) : storage_(static_cast<double>(f)) {}         // NOLINT(*-explicit-constructor)
  Value(const char* s) : storage_(std::string(s ? s : "")) {}  // NOLINT(*-explicit-constructor)
  Value(std::string s) : storage_(std::move(s)) {}             // NOLINT(*-explicit-constructor)
  Value(std::string_view s) : storage_(std::string(s)) {}      // NOLINT(*-explicit-constructor)
  Value(Bytes b) : storage_(std::move(b)) {}                   // NOLINT(*-explicit-constructor)
  Value(Date d) : storage_(d) {}                               // NOLINT(*-explicit-constructor)
  Value(Array a) : storage_(std::move(a)) {}                   // NOLINT(*-explicit-constructor)
  Value(Dictionary d) : storage_(std::move(d)) {}              // NOLINT(*-explicit-constructor)

  static Value array(std::initializer_list<Value> items = {}) { return Value(Array(items)); }
  static Value dictionary(std::initializer_list<Dictionary::Entry> entries = {}) {
    return Value(Dictionary(entries));
  }

  Type type() const { return static_cast<Type>(storage_.index()); }
  bool isNull() const { return type() == Type::Null; }
  bool isBool() const { return type() == Type::Bool; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  // Booleans, integers and reals are all numbers, as on the platform.
  bool isNumber() const { return isBool() || isInteger() || isReal(); }
  bool isString() const { return type() == Type::String; }
  bool isData() const { return type() == Type::Data; }
  bool isDate() const { return type() == Type::Date; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // Numeric reads of any number (a boolean is 0 or 1, a real is truncated toward zero and
  // saturated); nullopt for anything else.
  std::optional<int64_t> asInteger() const;
  std::optional<double> asDouble() const;
  std::optional<bool> asBool() const;

  int64_t intOr(int64_t fallback) const { return asInteger().value_or(fallback); }
  double doubleOr(double fallback) const { return asDouble().value_or(fallback); }
  bool boolOr(bool fallback) const { return asBool().value_or(fallback); }
  std::string stringOr(std::string_view fallback) const;

  // Typed access: a pointer when the value has that type, else null.
  const std::string* stringIf() const { return std::get_if<std::string>(&storage_); }
  std::string* stringIf() { return std::get_if<std::string>(&storage_); }
  const Bytes* dataIf() const { return std::get_if<Bytes>(&storage_); }
  const Date* dateIf() const { return std::get_if<Date>(&storage_); }
  const Array* arrayIf() const { return std::get_if<Array>(&storage_); }
  Array* arrayIf() { return std::get_if<Array>(&storage_); }
  const Dictionary* dictionaryIf() const { return std::get_if<Dictionary>(&storage_); }
  Dictionary* dictionaryIf() { return std::get_if<Dictionary>(&storage_); }

  // Lookups that never fail: a missing key, an index out of range or a value of another type
  // gives a null value.
  const Value& operator[](std::string_view key) const;
  const Value& at(size_t index) const;
  // Number of elements of an array or dictionary; 0 for other values.
  size_t size() const;

  // Mutation. `set` turns a null value into a dictionary and `append` a null value into an array;
  // on values of another type they do nothing and answer false.
  bool set(std::string key, Value value);
  bool append(Value value);
  bool remove(std::string_view key);

  bool operator==(const Value& other) const = default;

 private:
  template <std::integral T>
  static std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, Date, Array,
                      Dictionary>
  fromIntegral(T n) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(int64_t)) {
      // Beyond the signed range an unsigned integer can only be kept as a real.
      if (n > static_cast<T>(INT64_MAX)) return static_cast<double>(n);
    }
    return static_cast<int64_t>(n);
  }

  std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, Date, Array, Dictionary>
      storage_;
};

// Defined here, where Value is complete.
inline size_t Dictionary::size() const { return entries_.size(); }
inline bool Dictionary::empty() const { return entries_.empty(); }
inline Dictionary::iterator Dictionary::begin() { return entries_.begin(); }
inline Dictionary::iterator Dictionary::end() { return entries_.end(); }
inline Dictionary::const_iterator Dictionary::begin() const { return entries_.begin(); }
inline Dictionary::const_iterator Dictionary::end() const { return entries_.end(); }

// A short human-readable rendering of a value for logs (JSON-like, bytes in hex, dates as numbers).
std::string describe(const Value& value);

}  // namespace platform
