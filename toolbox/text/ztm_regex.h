#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/error.h"

struct re_pattern_buffer;

inline constexpr const char* kZTMRegexErrorDomain = "com.zorova.mactoolbox.RegexDomain";
inline constexpr int64_t kZTMRegexPatternParseFailedError = -100;
inline constexpr const char* kZTMRegexPatternErrorPattern = "pattern";
inline constexpr const char* kZTMRegexPatternErrorErrorString = "patternError";

enum ZTMRegexOptions : uint32_t {
  kZTMRegexOptionIgnoreCase = 1,
  // The dot and negated brackets match line breaks, and ^ $ match only at the text's ends.
  kZTMRegexOptionSupressNewlineSupport = 2,
};

// Start and end byte offsets of the whole match and of each group; (-1, -1) for a group that took
// no part.
using ZTMRegexMatches = std::vector<std::pair<int64_t, int64_t>>;

class ZSDK_ZTMRegexEnumerator;

// A POSIX extended regular expression matched against the UTF-8 bytes of texts. Immutable once
// made: any thread may use it.
class ZSDK_ZTMRegex : public std::enable_shared_from_this<ZSDK_ZTMRegex> {
 public:
  // Nothing (and no error) for a missing or empty pattern; nothing and, when asked, an error of
  // kZTMRegexErrorDomain with the pattern and the compiler's message for one that doesn't compile.
  static std::shared_ptr<ZSDK_ZTMRegex> regexWithPattern(
      std::optional<std::string_view> pattern, uint32_t options = 0,
      std::optional<platform::Error>* error = nullptr);
  // The text with a backslash before each of $ ( ) * + . ? [ \ ^ { |.
  static std::optional<std::string> escapedPatternForString(std::optional<std::string_view> text);

  ~ZSDK_ZTMRegex();

  size_t subPatternCount() const;
  // Whether the first match covers the whole text.
  bool matchesString(std::string_view text) const;
  // For a whole-text match: the text and each group's text (nothing for a group that took no part
  // or whose bytes are not UTF-8).
  std::optional<std::vector<std::optional<std::string>>> subPatternsOfString(
      std::string_view text) const;
  std::optional<std::string> firstSubStringMatchedInString(std::string_view text) const;
  bool matchesSubStringInString(std::string_view text) const;
  std::shared_ptr<ZSDK_ZTMRegexEnumerator> segmentEnumeratorForString(std::string_view text) const;
  std::shared_ptr<ZSDK_ZTMRegexEnumerator> matchSegmentEnumeratorForString(
      std::string_view text) const;
  // Each match replaced by the replacement, in which \N stands for group N (\0 the whole match);
  // nothing for a missing text.
  std::optional<std::string> stringByReplacingMatchesInString(std::optional<std::string_view> text,
                                                              std::string_view replacement) const;

  std::string description() const;
  std::string errorMessage(int code) const;
  // One search of text[start, end) (so NULs need no care); the offsets in `matches` are from the
  // text's start. `notAtBeginningOfLine` keeps ^ from matching at `start`.
  bool runRegexOnUTF8(std::string_view text, size_t start, ZTMRegexMatches& matches,
                      bool notAtBeginningOfLine) const;

 private:
  ZSDK_ZTMRegex(std::string pattern, uint32_t options, std::unique_ptr<re_pattern_buffer> regex);

  std::string pattern_;
  uint32_t options_;
  std::unique_ptr<re_pattern_buffer> regexData_;
};

// One piece of an enumerated text: a match with its groups, or the text between matches.
class ZSDK_ZTMRegexStringSegment {
 public:
  ZSDK_ZTMRegexStringSegment(std::shared_ptr<const std::string> utf8, ZTMRegexMatches matches,
                             bool isMatch);
  bool isMatch() const { return isMatch_; }
  std::optional<std::string> string() const { return subPatternString(0); }
  // Nothing past the group count, for a group that took no part, or for bytes that aren't UTF-8.
  std::optional<std::string> subPatternString(size_t index) const;
  std::string description() const;

 private:
  std::shared_ptr<const std::string> utf8StrBuf_;
  ZTMRegexMatches regMatches_;
  bool isMatch_;
};

// Walks a text as matching segments, optionally with the segments between them. An empty match
// is never found twice at the same place: the next search begins one character further on. One
// thread at a time.
class ZSDK_ZTMRegexEnumerator {
 public:
  // Nothing without a regex.
  static std::shared_ptr<ZSDK_ZTMRegexEnumerator> create(std::shared_ptr<const ZSDK_ZTMRegex> regex,
                                                         std::string_view text, bool allSegments);
  // Whether ^ may match at the start of every search, not only at the text's start.
  void treatStartOfNewSegmentAsBeginningOfString(bool yes) {
    treatStartOfNewSegmentAsBeginningOfString_ = yes;
  }
  std::shared_ptr<ZSDK_ZTMRegexStringSegment> nextObject();
  std::vector<std::shared_ptr<ZSDK_ZTMRegexStringSegment>> allObjects();
  std::string description() const;

 private:
  ZSDK_ZTMRegexEnumerator(std::shared_ptr<const ZSDK_ZTMRegex> regex, std::string text,
                          bool allSegments);
  std::shared_ptr<ZSDK_ZTMRegexStringSegment> segment(ZTMRegexMatches matches, bool isMatch) const;

  std::shared_ptr<const ZSDK_ZTMRegex> regex_;
  std::shared_ptr<const std::string> utf8StrBuf_;
  bool allSegments_;
  bool treatStartOfNewSegmentAsBeginningOfString_ = false;
  size_t curParseIndex_ = 0;
  // Where the last empty match was found; the next search must begin past it.
  std::optional<size_t> emptyMatchAt_;
  std::optional<ZTMRegexMatches> savedRegMatches_;
};

// The operations for a pattern given as text, with no options.
bool ztm_matchesPattern(std::string_view text, std::string_view pattern);
std::optional<std::vector<std::optional<std::string>>> ztm_subPatternsOfPattern(
    std::string_view text, std::string_view pattern);
std::optional<std::string> ztm_firstSubStringMatchedByPattern(std::string_view text,
                                                              std::string_view pattern);
bool ztm_subStringMatchesPattern(std::string_view text, std::string_view pattern);
std::vector<std::string> ztm_allSubstringsMatchedByPattern(std::string_view text,
                                                           std::string_view pattern);
std::shared_ptr<ZSDK_ZTMRegexEnumerator> ztm_segmentEnumeratorForPattern(std::string_view text,
                                                                         std::string_view pattern);
std::shared_ptr<ZSDK_ZTMRegexEnumerator> ztm_matchSegmentEnumeratorForPattern(
    std::string_view text, std::string_view pattern);
std::optional<std::string> ztm_stringByReplacingMatchesOfPattern(std::string_view text,
                                                                 std::string_view pattern,
                                                                 std::string_view replacement);
