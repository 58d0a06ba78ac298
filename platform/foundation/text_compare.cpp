#include "platform/foundation/text_compare.h"

namespace platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The digit run at the front of the text, without leading zeros; the text moves past it.
std::string_view takeNumber(std::string_view& text) {
  size_t end = 0;
  while (end < text.size() && isDigit(text[end])) ++end;
  std::string_view run = text.substr(0, end);
  text.remove_prefix(end);
  const size_t first = run.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view() : run.substr(first);
}

}  // namespace

std::weak_ordering compareTextNumerically(std::string_view a, std::string_view b) {
  while (!a.empty() && !b.empty()) {
    if (isDigit(a.front()) && isDigit(b.front())) {
      // Without leading zeros, a longer run is a larger number; runs of one length compare as
      // text, so numbers of any size compare exactly.
      const std::string_view x = takeNumber(a);
      const std::string_view y = takeNumber(b);
      if (x.size() != y.size()) return x.size() <=> y.size();
      if (const int order = x.compare(y); order != 0) return order <=> 0;
      continue;
    }
    const auto x = static_cast<unsigned char>(folded(a.front()));
    const auto y = static_cast<unsigned char>(folded(b.front()));
    if (x != y) return x <=> y;
    a.remove_prefix(1);
    b.remove_prefix(1);
  }
  return a.size() <=> b.size();
}

}  // namespace platform
