#include "ads/foundation/content_queue.h"

#include <algorithm>
#include <set>

void ZADContentQueue::enqueueContent(const std::shared_ptr<ZADContent>& content) {
  if (!content || size_ == 0) return;
  if (contents_.size() >= size_ && !sequenceNumbers_.empty()) {
    contents_.erase(sequenceNumbers_.front());
    sequenceNumbers_.pop_front();
  }
  contents_[content->sequenceNumber()] = content;
  sequenceNumbers_.push_back(content->sequenceNumber());
}

void ZADContentQueue::deduplicate(const std::shared_ptr<ZADContent>& content) {
  if (!content) return;
  std::set<uint64_t> duplicates;
  for (const auto& [sequenceNumber, stored] : contents_) {
    if (stored != content && stored->fingerprint() == content->fingerprint()) {
      duplicates.insert(std::min(sequenceNumber, content->sequenceNumber()));
    }
  }
  for (uint64_t sequenceNumber : duplicates) {
    contents_.erase(sequenceNumber);
    std::erase(sequenceNumbers_, sequenceNumber);
  }
}

std::shared_ptr<ZADContent> ZADContentQueue::contentWithHighestScore() const {
  std::shared_ptr<ZADContent> best;
  int64_t bestScore = 0;
  for (const auto& [sequenceNumber, content] : contents_) {
    if (content->score() > bestScore) {
      best = content;
      bestScore = content->score();
    }
  }
  return best;
}

std::shared_ptr<ZADContent> ZADContentQueue::contentWithSequenceNumber(
    uint64_t sequenceNumber) const {
  auto found = contents_.find(sequenceNumber);
  return found == contents_.end() ? nullptr : found->second;
}
