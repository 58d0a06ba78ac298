#pragma once

// Internal to the dispatch module.

#include <deque>
#include <mutex>
#include <string>

#include "platform/dispatch/queue.h"

namespace platform {

// Runs one item of a queue's work; an exception is logged with the queue's label and dropped so
// the queue goes on.
void runWork(const std::string& label, const Work& work);

// For a worker thread's loop: takes the first item, runs it with the lock released, and lets go of
// what the work captured before taking the lock again.
void runFront(const std::string& label, std::unique_lock<std::mutex>& lock,
              std::deque<Work>& items);

}  // namespace platform
