#include "platform/media/mime_type.h"

#include <gio/gio.h>

#include <algorithm>
#include <array>
#include <utility>

namespace platform::media {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 33> kCommonTypes{{
    {"3gp", "video/3gpp"},     {"aac", "audio/aac"},         {"amr", "audio/amr"},
    {"bmp", "image/bmp"},      {"caf", "audio/x-caf"},       {"css", "text/css"},
    {"gif", "image/gif"},      {"heic", "image/heic"},       {"htm", "text/html"},
    {"html", "text/html"},     {"jpeg", "image/jpeg"},       {"jpg", "image/jpeg"},
    {"js", "text/javascript"}, {"json", "application/json"}, {"m4a", "audio/mp4"},
    {"m4v", "video/x-m4v"},    {"mov", "video/quicktime"},   {"mp3", "audio/mpeg"},
    {"mp4", "video/mp4"},      {"oga", "audio/ogg"},         {"ogg", "audio/ogg"},
    {"ogv", "video/ogg"},      {"pdf", "application/pdf"},   {"png", "image/png"},
    {"svg", "image/svg+xml"},  {"tif", "image/tiff"},        {"tiff", "image/tiff"},
    {"txt", "text/plain"},     {"wav", "audio/wav"},         {"webm", "video/webm"},
    {"webp", "image/webp"},    {"xml", "application/xml"},   {"zip", "application/zip"},
}};

static_assert(std::is_sorted(kCommonTypes.begin(), kCommonTypes.end()), "looked up by halving");

std::string lowercased(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return lower;
}

std::optional<std::string> guessedType(const std::string& extension) {
  const std::string name = "file." + extension;
  gboolean uncertain = TRUE;
  gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
  gchar* mime = type && !uncertain ? g_content_type_get_mime_type(type) : nullptr;
  std::optional<std::string> result;
  if (mime) result = mime;
  g_free(mime);
  g_free(type);
  return result;
}

}  // namespace

std::optional<std::string> mimeTypeForExtension(std::string_view extension) {
  if (extension.empty() || extension.find_first_of("/\0", 0, 2) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string lower = lowercased(extension);
  auto known =
      std::lower_bound(kCommonTypes.begin(), kCommonTypes.end(), lower,
                       [](const auto& entry, const std::string& key) { return entry.first < key; });
  if (known != kCommonTypes.end() && known->first == lower) return std::string(known->second);
  return guessedType(lower);
}

std::string pathExtension(std::string_view path) {
  const size_t slash = path.rfind('/');
  std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = last.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(last.substr(dot + 1));
}

}  // namespace platform::media
