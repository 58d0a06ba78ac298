#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>

#include "ads/foundation/content.h"

// The contents of the last capture passes, by sequence number, oldest first. At most `size` are
// kept; a new one evicts the oldest. Not thread-safe: the capture's hashing queue owns it.
class ZADContentQueue {
 public:
  explicit ZADContentQueue(uint64_t size) : size_(size) {}

  // Nothing for a null content or a capacity of 0.
  void enqueueContent(const std::shared_ptr<ZADContent>& content);
  // Drops every other stored content with the same fingerprint, keeping whichever of each pair
  // has the larger sequence number (so a new pass replaces an older duplicate).
  void deduplicate(const std::shared_ptr<ZADContent>& content);
  // The content with the highest score above 0 (the oldest of equals); null when none.
  std::shared_ptr<ZADContent> contentWithHighestScore() const;
  std::shared_ptr<ZADContent> contentWithSequenceNumber(uint64_t sequenceNumber) const;
  size_t count() const { return contents_.size(); }

 private:
  std::map<uint64_t, std::shared_ptr<ZADContent>> contents_;
  std::deque<uint64_t> sequenceNumbers_;
  const uint64_t size_;
};
