#pragma once

#include <algorithm>

namespace platform::ui {

// Points, sizes and rectangles in points, as the view model measures everything.
struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}
  Rect(Point origin, Size size) : origin(origin), size(size) {}

  double x() const { return origin.x; }
  double y() const { return origin.y; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  Point center() const { return {origin.x + size.width / 2, origin.y + size.height / 2}; }
  bool isEmpty() const { return size.width <= 0 || size.height <= 0; }
  bool contains(Point p) const { return p.x >= x() && p.x < maxX() && p.y >= y() && p.y < maxY(); }
  bool contains(const Rect& r) const {
    return r.x() >= x() && r.y() >= y() && r.maxX() <= maxX() && r.maxY() <= maxY();
  }

  bool operator==(const Rect&) const = default;
};

struct EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

}  // namespace platform::ui
