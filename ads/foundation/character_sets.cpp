#include "ads/foundation/character_sets.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

#include "ads/foundation/json_additions.h"
#include "platform/storage/user_defaults.h"

namespace {

constexpr int64_t kPlaneSize = 0x10000;

void addRange(ZADCharacterSet& set, int64_t location, int64_t length) {
  const int64_t first = std::clamp<int64_t>(location, 0, kPlaneSize);
  const int64_t end =
      length <= 0 ? first
                  : std::clamp<int64_t>(location + std::min(length, kPlaneSize), first, kPlaneSize);
  for (int64_t unit = first; unit < end; ++unit) set.set(static_cast<size_t>(unit));
}

// The whole-number value of a number, limited so that sums stay in range.
int64_t integerValue(const platform::Value& number) {
  const double value = number.doubleOr(0);
  if (!std::isfinite(value)) return 0;
  return static_cast<int64_t>(std::clamp(value, -1e12, 1e12));
}

std::shared_ptr<const ZADCharacterSet> storedSet(
    const std::optional<std::string>& list,
    const std::shared_ptr<const ZADCharacterSet>& fallback) {
  if (!list) return fallback;
  std::optional<ZADCharacterSet> parsed = ZADCharacterSetFromRangeList(*list);
  return parsed ? std::make_shared<const ZADCharacterSet>(*parsed) : fallback;
}

}  // namespace

std::optional<ZADCharacterSet> ZADCharacterSetFromRangeList(std::string_view json) {
  platform::Result<platform::Value> parsed = zad_decodedJSONObject(json);
  if (!parsed.ok()) return std::nullopt;
  const platform::Value::Array* ranges = parsed->arrayIf();
  if (!ranges) return std::nullopt;
  ZADCharacterSet set;
  for (const platform::Value& range : *ranges) {
    const platform::Value::Array* pair = range.arrayIf();
    if (!pair || pair->size() != 2 || !(*pair)[0].isNumber() || !(*pair)[1].isNumber()) {
      return std::nullopt;
    }
    addRange(set, integerValue((*pair)[0]), integerValue((*pair)[1]));
  }
  return set;
}

const std::shared_ptr<const ZADCharacterSet>& ZADDefaultCharacterDelimitedSet() {
  static const std::shared_ptr<const ZADCharacterSet> set = [] {
    constexpr int64_t kRanges[][2] = {
        {0x4E00, 0x51CD}, {0x3400, 0x19B6}, {0x20000, 0xA6D7}, {0x3300, 0x100}, {0xF900, 0x200},
        {0x2F800, 0x220}, {0x3100, 0x30},   {0x31A0, 0x20},    {0x3040, 0x60},  {0x30A0, 0x5B},
        {0x30FC, 0x4},    {0x3200, 0x100},  {0xFF66, 0x38},    {0xFFA1, 0x3C},  {0x1B000, 0x100},
        {0x31F0, 0x10},   {0xAC00, 0x2BB0}, {0x1100, 0x100},
    };
    auto built = std::make_shared<ZADCharacterSet>();
    for (const auto& [location, length] : kRanges) addRange(*built, location, length);
    return std::shared_ptr<const ZADCharacterSet>(std::move(built));
  }();
  return set;
}

const std::shared_ptr<const ZADCharacterSet>& ZADDefaultSpaceDelimitedSet() {
  static const std::shared_ptr<const ZADCharacterSet> set = [] {
    auto built = std::make_shared<ZADCharacterSet>();
    for (gunichar c = 0; c < kPlaneSize; ++c) {
      switch (g_unichar_type(c)) {
        case G_UNICODE_LOWERCASE_LETTER:
        case G_UNICODE_MODIFIER_LETTER:
        case G_UNICODE_OTHER_LETTER:
        case G_UNICODE_TITLECASE_LETTER:
        case G_UNICODE_UPPERCASE_LETTER:
        case G_UNICODE_SPACING_MARK:
        case G_UNICODE_ENCLOSING_MARK:
        case G_UNICODE_NON_SPACING_MARK:
        case G_UNICODE_DECIMAL_NUMBER:
        case G_UNICODE_LETTER_NUMBER:
        case G_UNICODE_OTHER_NUMBER:
          built->set(c);
          break;
        default:
          break;
      }
    }
    return std::shared_ptr<const ZADCharacterSet>(std::move(built));
  }();
  return set;
}

ZADCharacterSets& ZADCharacterSets::sharedInstance() {
  static ZADCharacterSets* instance = new ZADCharacterSets();  // lives as long as the process
  return *instance;
}

ZADCharacterSets::ZADCharacterSets() { updateCharacterSets(); }

std::shared_ptr<const ZADCharacterSet> ZADCharacterSets::characterDelimitedSet() const {
  platform::MutexLock lock(mutex_);
  return characterDelimitedSet_;
}

std::shared_ptr<const ZADCharacterSet> ZADCharacterSets::spaceDelimitedSet() const {
  platform::MutexLock lock(mutex_);
  return spaceDelimitedSet_;
}

void ZADCharacterSets::updateCharacterSets() {
  auto defaults = platform::UserDefaults::standard();
  auto characterDelimited =
      storedSet(defaults->stringForKey("/zorova/ads/character_delimited_unicode_range"),
                ZADDefaultCharacterDelimitedSet());
  auto spaceDelimited =
      storedSet(defaults->stringForKey("/zorova/ads/space_delimited_unicode_range"),
                ZADDefaultSpaceDelimitedSet());
  platform::MutexLock lock(mutex_);
  characterDelimitedSet_ = std::move(characterDelimited);
  spaceDelimitedSet_ = std::move(spaceDelimited);
}
