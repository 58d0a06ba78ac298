#include "platform/foundation/regex.h"

#include <glib.h>

namespace platform {

namespace {

// A match anchored at the text's start; the match info is freed with the holder.
struct AnchoredMatch {
  AnchoredMatch(GRegex* regex, std::string_view text) {
    matched = g_regex_match_full(regex, text.data(), static_cast<gssize>(text.size()), 0,
                                 G_REGEX_MATCH_ANCHORED, &info, nullptr);
  }
  ~AnchoredMatch() { g_match_info_free(info); }
  AnchoredMatch(const AnchoredMatch&) = delete;
  AnchoredMatch& operator=(const AnchoredMatch&) = delete;

  GMatchInfo* info = nullptr;
  bool matched = false;
};

}  // namespace

Result<Regex> Regex::compile(std::string_view pattern, Options options) {
  const std::string text(pattern);
  int flags = G_REGEX_RAW | G_REGEX_DOLLAR_ENDONLY;
  if (options.caseInsensitive) flags |= G_REGEX_CASELESS;
  GError* error = nullptr;
  GRegex* regex = g_regex_new(text.c_str(), static_cast<GRegexCompileFlags>(flags),
                              static_cast<GRegexMatchFlags>(0), &error);
  if (!regex) {
    Error failure = Error::withDescription(kRegexErrorDomain, error ? error->code : 0,
                                           error ? error->message : "invalid pattern");
    if (error) g_error_free(error);
    return failure;
  }
  return Regex(std::shared_ptr<GRegex>(regex, g_regex_unref));
}

std::optional<Regex::Groups> Regex::matchAtStart(std::string_view text) const {
  AnchoredMatch match(regex_.get(), text);
  if (!match.matched) return std::nullopt;
  Groups groups;
  const int count = g_match_info_get_match_count(match.info);
  for (int i = 0; i < count; ++i) {
    int start = -1, end = -1;
    if (g_match_info_fetch_pos(match.info, i, &start, &end) && start >= 0) {
      groups.emplace_back(std::string(text.substr(start, end - start)));
    } else {
      groups.emplace_back(std::nullopt);
    }
  }
  // Trailing groups that took no part are not counted by the matcher.
  groups.resize(g_regex_get_capture_count(regex_.get()) + 1);
  return groups;
}

bool Regex::matchesWhole(std::string_view text) const {
  AnchoredMatch match(regex_.get(), text);
  int start = -1, end = -1;
  return match.matched && g_match_info_fetch_pos(match.info, 0, &start, &end) &&
         static_cast<size_t>(end) == text.size();
}

}  // namespace platform
