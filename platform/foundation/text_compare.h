#pragma once

#include <compare>
#include <string_view>

namespace platform {

// Orders texts as the platform's numeric, case-insensitive comparison does: runs of digits
// compare by their value ("9A10" before "10A1", "007" equal to "7"), ASCII letters without regard
// to case ("12a" equal to "12A"), other characters by their code; a text that is a prefix of the
// other comes first.
std::weak_ordering compareTextNumerically(std::string_view a, std::string_view b);

}  // namespace platform
