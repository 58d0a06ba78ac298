#pragma once

#include <array>
#include <string_view>

// A named character entity and the UTF-16 code unit it stands for.
struct HTMLEntity {
  std::string_view text;  // "&amp;"
  char16_t unit;
};

// Both tables are sorted by code unit.
extern const std::array<HTMLEntity, 253> kHTMLEntities;
extern const std::array<HTMLEntity, 33> kHTMLSpecialEntities;
