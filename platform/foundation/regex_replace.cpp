#include "platform/foundation/regex_replace.h"

#include <glib.h>

#include <memory>

namespace platform {
namespace {

using Replacement = std::function<std::string(const Regex::Groups&)>;

struct Replacing {
  const Replacement& replacement;
  int groupCount;  // the pattern's groups and the whole match
};

gboolean appendReplacement(const GMatchInfo* info, GString* result, gpointer data) {
  const Replacing& replacing = *static_cast<const Replacing*>(data);
  // Every group of the pattern gets an entry, also those after the last that took part.
  Regex::Groups groups;
  const int count = replacing.groupCount;
  const char* text = g_match_info_get_string(info);
  for (int i = 0; i < count; ++i) {
    int start = -1, end = -1;
    if (g_match_info_fetch_pos(info, i, &start, &end) && start >= 0) {
      groups.emplace_back(std::string(text + start, static_cast<size_t>(end - start)));
    } else {
      groups.emplace_back(std::nullopt);
    }
  }
  const std::string replaced = replacing.replacement(groups);
  g_string_append_len(result, replaced.data(), static_cast<gssize>(replaced.size()));
  return FALSE;  // go on with the next match
}

}  // namespace

Result<std::string> replaceMatches(std::string_view pattern, std::string_view text,
                                   const Replacement& replacement) {
  const std::string patternText(pattern);
  GError* error = nullptr;
  std::unique_ptr<GRegex, decltype(&g_regex_unref)> regex(
      g_regex_new(patternText.c_str(),
                  static_cast<GRegexCompileFlags>(G_REGEX_RAW | G_REGEX_DOLLAR_ENDONLY),
                  static_cast<GRegexMatchFlags>(0), &error),
      g_regex_unref);
  if (!regex) {
    Error failure = Error::withDescription(kRegexErrorDomain, error ? error->code : 0,
                                           error ? error->message : "invalid pattern");
    if (error) g_error_free(error);
    return failure;
  }
  Replacing replacing{replacement, g_regex_get_capture_count(regex.get()) + 1};
  gchar* replaced =
      g_regex_replace_eval(regex.get(), text.data(), static_cast<gssize>(text.size()), 0,
                           static_cast<GRegexMatchFlags>(0), appendReplacement, &replacing, &error);
  if (!replaced) {
    Error failure = Error::withDescription(kRegexErrorDomain, error ? error->code : 0,
                                           error ? error->message : "replacement failed");
    if (error) g_error_free(error);
    return failure;
  }
  std::string result(replaced);
  g_free(replaced);
  return result;
}

}  // namespace platform
