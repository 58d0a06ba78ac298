#include "app/window_size.h"

#include <charconv>

namespace {

constexpr int kLargestSide = 16384;

std::optional<int> side(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < 1 || value > kLargestSide) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<platform::ui::Size> parseWindowSize(std::string_view text) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return std::nullopt;
  std::optional<int> width = side(text.substr(0, x));
  std::optional<int> height = side(text.substr(x + 1));
  if (!width || !height) return std::nullopt;
  return platform::ui::Size{double(*width), double(*height)};
}
