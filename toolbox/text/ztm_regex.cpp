#include "toolbox/text/ztm_regex.h"

#include <regex.h>

#include <cstdio>

#include "platform/foundation/utf8.h"

namespace {

// Group N of the match as text; nothing when it took no part, lies outside the text or is not
// UTF-8 (a boundary inside a character).
std::optional<std::string> groupText(const std::string& text, const ZTMRegexMatches& matches,
                                     size_t index) {
  if (index >= matches.size()) return std::nullopt;
  const auto [start, end] = matches[index];
  if (start < 0 || end < start || static_cast<size_t>(end) > text.size()) return std::nullopt;
  std::string piece = text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
  if (!platform::isValidUTF8(piece)) return std::nullopt;
  return piece;
}

std::string pointerText(const void* pointer) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", pointer);
  return buffer;
}

// Length of the character at `i` (1 for a byte that starts none), so searches step whole
// characters.
size_t characterLength(std::string_view text, size_t i) {
  const size_t length = platform::utf8SequenceLength(text, i);
  return length == 0 ? 1 : length;
}

}  // namespace

// regex_t is the typedef of this structure.
ZSDK_ZTMRegex::ZSDK_ZTMRegex(std::string pattern, uint32_t options,
                             std::unique_ptr<re_pattern_buffer> regex)
    : pattern_(std::move(pattern)), options_(options), regexData_(std::move(regex)) {}

ZSDK_ZTMRegex::~ZSDK_ZTMRegex() { regfree(regexData_.get()); }

std::shared_ptr<ZSDK_ZTMRegex> ZSDK_ZTMRegex::regexWithPattern(
    std::optional<std::string_view> pattern, uint32_t options,
    std::optional<platform::Error>* error) {
  if (error) error->reset();
  if (!pattern || pattern->empty()) return nullptr;
  int flags = REG_EXTENDED;
  if (options & kZTMRegexOptionIgnoreCase) flags |= REG_ICASE;
  if (!(options & kZTMRegexOptionSupressNewlineSupport)) flags |= REG_NEWLINE;
  auto regex = std::make_unique<re_pattern_buffer>();
  const std::string text(*pattern);
  if (int code = regcomp(regex.get(), text.c_str(), flags); code != 0) {
    if (error) {
      char message[256];
      regerror(code, regex.get(), message, sizeof message);
      platform::Dictionary userInfo{{kZTMRegexPatternErrorPattern, text},
                                    {kZTMRegexPatternErrorErrorString, std::string(message)}};
      *error = platform::Error(kZTMRegexErrorDomain, kZTMRegexPatternParseFailedError,
                               std::move(userInfo));
    }
    return nullptr;  // nothing was compiled, so nothing is freed
  }
  return std::shared_ptr<ZSDK_ZTMRegex>(new ZSDK_ZTMRegex(text, options, std::move(regex)));
}

std::optional<std::string> ZSDK_ZTMRegex::escapedPatternForString(
    std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  std::string escaped;
  for (char c : *text) {
    if (std::string_view("$()*+.?[\\^{|").find(c) != std::string_view::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

size_t ZSDK_ZTMRegex::subPatternCount() const { return regexData_->re_nsub; }

bool ZSDK_ZTMRegex::runRegexOnUTF8(std::string_view text, size_t start, ZTMRegexMatches& matches,
                                   bool notAtBeginningOfLine) const {
  if (start > text.size()) return false;
  // The search sees text[start, end) as a whole text of its own, so that ^ at `start` is
  // governed by the flag alone; a line break just before it still begins a line.
  if (notAtBeginningOfLine && start > 0 && text[start - 1] == '\n' &&
      !(options_ & kZTMRegexOptionSupressNewlineSupport)) {
    notAtBeginningOfLine = false;
  }
  std::vector<regmatch_t> found(subPatternCount() + 1);
  found[0].rm_so = 0;
  found[0].rm_eo = static_cast<regoff_t>(text.size() - start);
  const int flags = REG_STARTEND | (notAtBeginningOfLine ? REG_NOTBOL : 0);
  if (regexec(regexData_.get(), text.data() + start, found.size(), found.data(), flags) != 0) {
    return false;
  }
  matches.assign(found.size(), {-1, -1});
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i].rm_so < 0) continue;
    matches[i] = {static_cast<int64_t>(start) + found[i].rm_so,
                  static_cast<int64_t>(start) + found[i].rm_eo};
  }
  return true;
}

bool ZSDK_ZTMRegex::matchesString(std::string_view text) const {
  ZTMRegexMatches matches;
  return runRegexOnUTF8(text, 0, matches, false) && matches[0].first == 0 &&
         matches[0].second == static_cast<int64_t>(text.size());
}

std::optional<std::vector<std::optional<std::string>>> ZSDK_ZTMRegex::subPatternsOfString(
    std::string_view text) const {
  ZTMRegexMatches matches;
  if (!runRegexOnUTF8(text, 0, matches, false) || matches[0].first != 0 ||
      matches[0].second != static_cast<int64_t>(text.size())) {
    return std::nullopt;
  }
  const std::string whole(text);
  std::vector<std::optional<std::string>> groups;
  for (size_t i = 0; i < matches.size(); ++i) groups.push_back(groupText(whole, matches, i));
  return groups;
}

std::optional<std::string> ZSDK_ZTMRegex::firstSubStringMatchedInString(
    std::string_view text) const {
  ZTMRegexMatches matches;
  if (!runRegexOnUTF8(text, 0, matches, false)) return std::nullopt;
  return groupText(std::string(text), matches, 0);
}

bool ZSDK_ZTMRegex::matchesSubStringInString(std::string_view text) const {
  ZTMRegexMatches matches;
  return runRegexOnUTF8(text, 0, matches, false);
}

std::shared_ptr<ZSDK_ZTMRegexEnumerator> ZSDK_ZTMRegex::segmentEnumeratorForString(
    std::string_view text) const {
  return ZSDK_ZTMRegexEnumerator::create(shared_from_this(), text, true);
}

std::shared_ptr<ZSDK_ZTMRegexEnumerator> ZSDK_ZTMRegex::matchSegmentEnumeratorForString(
    std::string_view text) const {
  return ZSDK_ZTMRegexEnumerator::create(shared_from_this(), text, false);
}

std::optional<std::string> ZSDK_ZTMRegex::stringByReplacingMatchesInString(
    std::optional<std::string_view> text, std::string_view replacement) const {
  if (!text) return std::nullopt;
  std::vector<std::shared_ptr<ZSDK_ZTMRegexStringSegment>> pieces;
  if (!replacement.empty()) {
    static const std::shared_ptr<ZSDK_ZTMRegex> kReference =
        regexWithPattern(R"(((^|[^\\])(\\\\)*)(\\([0-9]+)))", kZTMRegexOptionSupressNewlineSupport);
    std::shared_ptr<ZSDK_ZTMRegexEnumerator> cutter =
        kReference ? kReference->segmentEnumeratorForString(replacement) : nullptr;
    if (!cutter) return std::nullopt;
    cutter->treatStartOfNewSegmentAsBeginningOfString(true);
    pieces = cutter->allObjects();
  }
  std::string result;
  std::shared_ptr<ZSDK_ZTMRegexEnumerator> segments = segmentEnumeratorForString(*text);
  while (std::shared_ptr<ZSDK_ZTMRegexStringSegment> segment = segments->nextObject()) {
    if (!segment->isMatch()) {
      result += segment->string().value_or("");
      continue;
    }
    for (const auto& piece : pieces) {
      if (!piece->isMatch()) {
        result += piece->string().value_or("");
        continue;
      }
      result += piece->subPatternString(1).value_or("");
      const std::string number = piece->subPatternString(5).value_or("");
      // More digits than any group count can reach name no group.
      if (!number.empty() && number.size() <= 9) {
        result += segment->subPatternString(std::stoul(number)).value_or("");
      }
    }
  }
  return result;
}

std::string ZSDK_ZTMRegex::description() const {
  std::string options;
  if (options_ & kZTMRegexOptionIgnoreCase) options += " IgnoreCase";
  if (options_ & kZTMRegexOptionSupressNewlineSupport) options += " NoNewlineSupport";
  if (options.empty()) options = " None(Default)";
  return "ZSDK_ZTMRegex " + pointerText(this) + " { pattern=\"" + pattern_ +
         "\", rawNumSubPatterns=" + std::to_string(regexData_->re_nsub) + ", options=(" + options +
         " ) }";
}

std::string ZSDK_ZTMRegex::errorMessage(int code) const {
  char message[256];
  if (regerror(code, regexData_.get(), message, sizeof message) == 0) return "internal error";
  return message;
}

ZSDK_ZTMRegexStringSegment::ZSDK_ZTMRegexStringSegment(std::shared_ptr<const std::string> utf8,
                                                       ZTMRegexMatches matches, bool isMatch)
    : utf8StrBuf_(std::move(utf8)), regMatches_(std::move(matches)), isMatch_(isMatch) {}

std::optional<std::string> ZSDK_ZTMRegexStringSegment::subPatternString(size_t index) const {
  return groupText(*utf8StrBuf_, regMatches_, index);
}

std::string ZSDK_ZTMRegexStringSegment::description() const {
  std::string groups;
  for (size_t i = 0; i < regMatches_.size(); ++i) {
    if (i > 0) groups += ", ";
    groups += "\"" + subPatternString(i).value_or("") + "\"";
  }
  return "ZSDK_ZTMRegexStringSegment " + pointerText(this) +
         " { isMatch=" + (isMatch_ ? "YES" : "NO") + ", subPatterns=(" + groups + " ) }";
}

ZSDK_ZTMRegexEnumerator::ZSDK_ZTMRegexEnumerator(std::shared_ptr<const ZSDK_ZTMRegex> regex,
                                                 std::string text, bool allSegments)
    : regex_(std::move(regex)),
      utf8StrBuf_(std::make_shared<const std::string>(std::move(text))),
      allSegments_(allSegments) {}

std::shared_ptr<ZSDK_ZTMRegexEnumerator> ZSDK_ZTMRegexEnumerator::create(
    std::shared_ptr<const ZSDK_ZTMRegex> regex, std::string_view text, bool allSegments) {
  if (!regex) return nullptr;
  return std::shared_ptr<ZSDK_ZTMRegexEnumerator>(
      new ZSDK_ZTMRegexEnumerator(std::move(regex), std::string(text), allSegments));
}

std::shared_ptr<ZSDK_ZTMRegexStringSegment> ZSDK_ZTMRegexEnumerator::segment(
    ZTMRegexMatches matches, bool isMatch) const {
  return std::make_shared<ZSDK_ZTMRegexStringSegment>(utf8StrBuf_, std::move(matches), isMatch);
}

std::shared_ptr<ZSDK_ZTMRegexStringSegment> ZSDK_ZTMRegexEnumerator::nextObject() {
  if (savedRegMatches_) {
    ZTMRegexMatches saved = std::move(*savedRegMatches_);
    savedRegMatches_.reset();
    return segment(std::move(saved), true);
  }
  const std::string& text = *utf8StrBuf_;
  if (curParseIndex_ >= text.size()) return nullptr;

  // After an empty match the search begins one character further, or it would find it again.
  size_t searchStart = curParseIndex_;
  if (emptyMatchAt_ == curParseIndex_) searchStart += characterLength(text, curParseIndex_);
  ZTMRegexMatches matches;
  const bool found =
      searchStart <= text.size() &&
      regex_->runRegexOnUTF8(text, searchStart, matches,
                             searchStart != 0 && !treatStartOfNewSegmentAsBeginningOfString_);
  const size_t segmentStart = curParseIndex_;
  if (!found) {
    curParseIndex_ = text.size();
    if (!allSegments_) return nullptr;
    ZTMRegexMatches rest(regex_->subPatternCount() + 1, {-1, -1});
    rest[0] = {static_cast<int64_t>(segmentStart), static_cast<int64_t>(text.size())};
    return segment(std::move(rest), false);
  }
  const auto [matchStart, matchEnd] = matches[0];
  curParseIndex_ = static_cast<size_t>(matchEnd);
  emptyMatchAt_ = matchStart == matchEnd ? std::optional<size_t>(curParseIndex_) : std::nullopt;
  if (!allSegments_ || matchStart == static_cast<int64_t>(segmentStart)) {
    return segment(std::move(matches), true);
  }
  ZTMRegexMatches gap(matches.size(), {-1, -1});
  gap[0] = {static_cast<int64_t>(segmentStart), matchStart};
  savedRegMatches_ = std::move(matches);
  return segment(std::move(gap), false);
}

std::vector<std::shared_ptr<ZSDK_ZTMRegexStringSegment>> ZSDK_ZTMRegexEnumerator::allObjects() {
  std::vector<std::shared_ptr<ZSDK_ZTMRegexStringSegment>> all;
  while (std::shared_ptr<ZSDK_ZTMRegexStringSegment> next = nextObject()) all.push_back(next);
  return all;
}

std::string ZSDK_ZTMRegexEnumerator::description() const {
  return "ZSDK_ZTMRegexEnumerator " + pointerText(this) + " { regex=" + regex_->description() +
         ", allSegments=" + (allSegments_ ? "YES" : "NO") + ", string=\"" +
         utf8StrBuf_->substr(0, 20) + "...\" }";
}

namespace {

std::shared_ptr<ZSDK_ZTMRegex> regexOf(std::string_view pattern) {
  return ZSDK_ZTMRegex::regexWithPattern(pattern);
}

}  // namespace

bool ztm_matchesPattern(std::string_view text, std::string_view pattern) {
  auto regex = regexOf(pattern);
  return regex && regex->matchesString(text);
}

std::optional<std::vector<std::optional<std::string>>> ztm_subPatternsOfPattern(
    std::string_view text, std::string_view pattern) {
  auto regex = regexOf(pattern);
  return regex ? regex->subPatternsOfString(text) : std::nullopt;
}

std::optional<std::string> ztm_firstSubStringMatchedByPattern(std::string_view text,
                                                              std::string_view pattern) {
  auto regex = regexOf(pattern);
  return regex ? regex->firstSubStringMatchedInString(text) : std::nullopt;
}

bool ztm_subStringMatchesPattern(std::string_view text, std::string_view pattern) {
  auto regex = regexOf(pattern);
  return regex && regex->matchesSubStringInString(text);
}

std::vector<std::string> ztm_allSubstringsMatchedByPattern(std::string_view text,
                                                           std::string_view pattern) {
  std::vector<std::string> all;
  auto enumerator = ztm_matchSegmentEnumeratorForPattern(text, pattern);
  if (!enumerator) return all;
  while (auto segment = enumerator->nextObject()) {
    if (std::optional<std::string> string = segment->string()) all.push_back(std::move(*string));
  }
  return all;
}

std::shared_ptr<ZSDK_ZTMRegexEnumerator> ztm_segmentEnumeratorForPattern(std::string_view text,
                                                                         std::string_view pattern) {
  auto regex = regexOf(pattern);
  return regex ? regex->segmentEnumeratorForString(text) : nullptr;
}

std::shared_ptr<ZSDK_ZTMRegexEnumerator> ztm_matchSegmentEnumeratorForPattern(
    std::string_view text, std::string_view pattern) {
  auto regex = regexOf(pattern);
  return regex ? regex->matchSegmentEnumeratorForString(text) : nullptr;
}

std::optional<std::string> ztm_stringByReplacingMatchesOfPattern(std::string_view text,
                                                                 std::string_view pattern,
                                                                 std::string_view replacement) {
  auto regex = regexOf(pattern);
  return regex ? regex->stringByReplacingMatchesInString(text, replacement) : std::nullopt;
}
