#include "platform/foundation/json.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/foundation/utf8.h"

namespace platform {

namespace {

// Builds a Value directly from the parser's events, without an intermediate document.
class ValueBuilder final : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit ValueBuilder(size_t maxDepth) : maxDepth_(maxDepth) {}

  bool null() override { return add(Value()); }
  bool boolean(bool val) override { return add(Value(val)); }
  bool number_integer(number_integer_t val) override { return add(Value(int64_t{val})); }
  bool number_unsigned(number_unsigned_t val) override { return add(Value(uint64_t{val})); }
  bool number_float(number_float_t val, const string_t&) override { return add(Value(val)); }
  bool string(string_t& val) override { return add(Value(std::move(val))); }
  bool binary(binary_t&) override { return fail("binary values are not JSON"); }

  bool start_object(std::size_t) override { return open(Value(Dictionary())); }
  bool key(string_t& val) override {
    pendingKey_ = std::move(val);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Value(Value::Array())); }
  bool end_array() override { return close(); }

  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& ex) override {
    return fail("invalid JSON at offset " + std::to_string(position) + ": " + ex.what());
  }

  Value takeResult() { return std::move(root_); }
  const std::string& failure() const { return failure_; }

 private:
  bool fail(std::string message) {
    if (failure_.empty()) failure_ = std::move(message);
    return false;
  }

  // Places a finished value in its parent (or as the root) and answers where it now lives.
  Value* place(Value value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Value* parent = stack_.back();
    if (Value::Array* items = parent->arrayIf()) {
      items->push_back(std::move(value));
      return &items->back();
    }
    return &parent->dictionaryIf()->set(std::move(pendingKey_), std::move(value));
  }

  bool add(Value value) {
    place(std::move(value));
    return true;
  }

  bool open(Value container) {
    if (stack_.size() >= maxDepth_) {
      return fail("JSON nested deeper than " + std::to_string(maxDepth_) + " levels");
    }
    stack_.push_back(place(std::move(container)));
    return true;
  }

  bool close() {
    stack_.pop_back();
    return true;
  }

  size_t maxDepth_;
  Value root_;
  std::vector<Value*> stack_;
  std::string pendingKey_;
  std::string failure_;
};

Error readError(std::string message) {
  return Error::withDescription(kJSONErrorDomain, kJSONReadError, std::move(message));
}

Error writeError(std::string message) {
  return Error::withDescription(kJSONErrorDomain, kJSONWriteError, std::move(message));
}

class Writer {
 public:
  explicit Writer(bool pretty) : pretty_(pretty) {}

  std::string_view failure() const { return failure_; }
  std::string take() { return std::move(out_); }

  bool write(const Value& value, int depth) {
    switch (value.type()) {
      case Value::Type::Null:
        out_ += "null";
        return true;
      case Value::Type::Bool:
        out_ += *value.asBool() ? "true" : "false";
        return true;
      case Value::Type::Integer: {
        char buffer[24];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, *value.asInteger());
        out_.append(buffer, end);
        return true;
      }
      case Value::Type::Real:
        return writeReal(*value.asDouble());
      case Value::Type::String:
        appendJSONString(*value.stringIf(), out_);
        return true;
      case Value::Type::Data:
        failure_ = "bytes cannot be written as JSON";
        return false;
      case Value::Type::Date:
        failure_ = "dates cannot be written as JSON";
        return false;
      case Value::Type::Array:
        return writeArray(*value.arrayIf(), depth);
      case Value::Type::Dictionary:
        return writeDictionary(*value.dictionaryIf(), depth);
    }
    return false;
  }

 private:
  bool writeReal(double d) {
    if (!std::isfinite(d)) {
      failure_ = "NaN and infinite numbers cannot be written as JSON";
      return false;
    }
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    out_.append(buffer, end);
    return true;
  }

  void newline(int depth) {
    if (!pretty_) return;
    out_ += '\n';
    out_.append(static_cast<size_t>(depth) * 2, ' ');
  }

  bool writeArray(const Value::Array& items, int depth) {
    out_ += '[';
    bool first = true;
    for (const Value& item : items) {
      if (!first) out_ += ',';
      first = false;
      newline(depth + 1);
      if (!write(item, depth + 1)) return false;
    }
    if (!items.empty()) newline(depth);
    out_ += ']';
    return true;
  }

  bool writeDictionary(const Dictionary& dict, int depth) {
    out_ += '{';
    bool first = true;
    for (const auto& [key, item] : dict) {
      if (!first) out_ += ',';
      first = false;
      newline(depth + 1);
      appendJSONString(key, out_);
      out_ += pretty_ ? " : " : ":";
      if (!write(item, depth + 1)) return false;
    }
    if (!dict.empty()) newline(depth);
    out_ += '}';
    return true;
  }

  bool pretty_;
  std::string out_;
  std::string failure_;
};

}  // namespace

Result<Value> parseJSON(std::string_view text, const JSONReadOptions& options) {
  // The parser takes a NUL byte for the end of the text and would accept "[1]\0garbage"; JSON
  // holds no NUL anywhere (not even inside a string, unescaped), so one is always an error.
  if (size_t nul = text.find('\0'); nul != std::string_view::npos) {
    return readError("unexpected NUL byte at offset " + std::to_string(nul));
  }
  ValueBuilder builder(options.maxDepth);
  bool parsed = false;
  try {
    parsed = nlohmann::json::sax_parse(text.begin(), text.end(), &builder,
                                       nlohmann::json::input_format_t::json, true);
  } catch (const std::exception& ex) {
    return readError(ex.what());
  }
  if (!parsed) {
    return readError(builder.failure().empty() ? "invalid JSON" : builder.failure());
  }
  Value result = builder.takeResult();
  if (!options.allowFragments && !result.isArray() && !result.isDictionary()) {
    return readError("JSON text did not start with an array or object");
  }
  return result;
}

Result<std::string> toJSON(const Value& value, const JSONWriteOptions& options) {
  Writer writer(options.pretty);
  if (!writer.write(value, 0)) return writeError(std::string(writer.failure()));
  return writer.take();
}

void appendJSONString(std::string_view text, std::string& out) {
  static const char kHex[] = "0123456789abcdef";
  out.reserve(out.size() + text.size() + 2);
  out += '"';
  size_t i = 0;
  size_t runStart = 0;
  const auto flush = [&] { out.append(text.substr(runStart, i - runStart)); };
  while (i < text.size()) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\' && c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0x80) {
      size_t length = utf8SequenceLength(text, i);
      if (length == 3 && c == 0xE2 && static_cast<uint8_t>(text[i + 1]) == 0x80 &&
          (static_cast<uint8_t>(text[i + 2]) & 0xFE) == 0xA8) {
        flush();
        out += static_cast<uint8_t>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
        i += 3;
        runStart = i;
      } else if (length == 0) {
        flush();
        out += "\xEF\xBF\xBD";
        ++i;
        runStart = i;
      } else {
        i += length;
      }
      continue;
    }
    flush();
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    ++i;
    runStart = i;
  }
  flush();
  out += '"';
}

}  // namespace platform
