#pragma once

// Internal to the dispatch module.

#include <deque>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/foundation/thread_annotations.h"

namespace platform {

// Runs one item of a queue's work; an exception is logged with the queue's label and dropped so
// the queue goes on.
void runWork(const std::string& label, const Work& work);

// For a worker thread's loop: takes the first item, runs it with the lock released, and lets go of
// what the work captured before taking the lock again.
// The lock must hold the items' mutex; it holds it again on return (unchecked by the analysis,
// which cannot follow a lock handed in).
void runFront(const std::string& label, MutexLock& lock,
              std::deque<Work>& items) VKR_NO_THREAD_SAFETY_ANALYSIS;

}  // namespace platform
