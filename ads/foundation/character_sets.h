#pragma once

#include <bitset>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/thread_annotations.h"

// Which UTF-16 code units a set holds. The content fingerprint tests membership one code unit at
// a time, so characters beyond U+FFFF never match and only the first plane is kept.
using ZADCharacterSet = std::bitset<0x10000>;

// The two sets that cut text into tokens for the content fingerprint: characters of the
// character-delimited set are tokens by themselves (scripts written without spaces), characters
// of the space-delimited set make up words, every other character separates tokens. The server
// may replace either with a list of ranges (user defaults
// "/zorova/ads/character_delimited_unicode_range" and "/zorova/ads/space_delimited_unicode_range").
//
// Thread-safe: the sets are immutable snapshots swapped under a lock, so a reader keeps the sets
// it took while an update replaces them.
class ZADCharacterSets {
 public:
  static ZADCharacterSets& sharedInstance();
  // Reads the server's lists (updateCharacterSets).
  ZADCharacterSets();

  std::shared_ptr<const ZADCharacterSet> characterDelimitedSet() const;
  std::shared_ptr<const ZADCharacterSet> spaceDelimitedSet() const;
  // Re-reads both lists from the user defaults; a set without a valid list takes its default.
  void updateCharacterSets();

 private:
  mutable platform::Mutex mutex_;
  std::shared_ptr<const ZADCharacterSet> characterDelimitedSet_ VKR_GUARDED_BY(mutex_);
  std::shared_ptr<const ZADCharacterSet> spaceDelimitedSet_ VKR_GUARDED_BY(mutex_);
};

// The union of a JSON list of [location, length] pairs of numbers; nothing when the text is no
// such list (one bad element voids it). An empty list gives an empty set.
std::optional<ZADCharacterSet> ZADCharacterSetFromRangeList(std::string_view json);
// Ideographs, kana, hangul and their compatibility forms.
const std::shared_ptr<const ZADCharacterSet>& ZADDefaultCharacterDelimitedSet();
// Unicode letters, marks and numbers.
const std::shared_ptr<const ZADCharacterSet>& ZADDefaultSpaceDelimitedSet();
