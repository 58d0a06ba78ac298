#pragma once

// Internal to the dispatch module.

#include "platform/dispatch/queue.h"

namespace platform {

// Runs one item of a queue's work; an exception is logged with the queue's label and dropped so
// the queue goes on.
void runWork(const DispatchQueue& queue, const Work& work);

// Blocks until work given to `post` has run (for sync() on queues other than the current one).
void runAndWait(const std::function<void(Work)>& post, const Work& work);

}  // namespace platform
