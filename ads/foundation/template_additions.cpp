#include "ads/foundation/template_additions.h"

#include "platform/foundation/regex_replace.h"

std::string zad_escapeAts(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    escaped += c;
    if (c == '@') escaped += '@';
  }
  return escaped;
}

namespace {

void replaceKeywords(std::string& text, std::string_view keywordPattern,
                     std::string_view replacement) {
  const std::string pattern = "(?<!@)((?:@@)*)@" + std::string(keywordPattern) + "(?<!@)((?:@@)*)@";
  platform::Result<std::string> replaced =
      platform::replaceMatches(pattern, text, [&](const platform::Regex::Groups& groups) {
        return groups[1].value_or("") + std::string(replacement) + groups[2].value_or("");
      });
  // A keyword pattern that does not compile matches nothing.
  if (replaced.ok()) text = std::move(*replaced);
}

}  // namespace

void zad_replaceAtQuotedKeywordPattern(std::string& text, std::string_view keywordPattern,
                                       std::string_view replacement) {
  if (keywordPattern.empty()) return;
  replaceKeywords(text, keywordPattern, replacement);
}

void zad_removeAtQuotedKeywords(std::string& text) { replaceKeywords(text, "[^@]+", ""); }

void zad_unescapeAts(std::string& text) {
  std::string unescaped;
  for (size_t i = 0; i < text.size(); ++i) {
    unescaped += text[i];
    if (text[i] == '@' && i + 1 < text.size() && text[i + 1] == '@') ++i;
  }
  text = std::move(unescaped);
}
