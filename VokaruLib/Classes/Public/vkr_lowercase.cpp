#include "VokaruLib/Classes/Public/vkr_lowercase.h"

#include <glib.h>

#include <algorithm>

std::string vkrLowercase(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    std::string lower(text);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
  }
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return std::string(text);
  }
  gchar* lowered = g_utf8_strdown(text.data(), static_cast<gssize>(text.size()));
  std::string lower(lowered);
  g_free(lowered);
  return lower;
}
