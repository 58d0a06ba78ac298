#pragma once

namespace platform::ui {

// An RGBA colour with components from 0 to 1.
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;

  static constexpr Color clear() { return {0, 0, 0, 0}; }
  static constexpr Color black() { return {0, 0, 0, 1}; }
  static constexpr Color white() { return {1, 1, 1, 1}; }
  static constexpr Color gray() { return {0.5, 0.5, 0.5, 1}; }
  static constexpr Color rgb(double r, double g, double b, double a = 1) { return {r, g, b, a}; }

  bool operator==(const Color&) const = default;
};

}  // namespace platform::ui
