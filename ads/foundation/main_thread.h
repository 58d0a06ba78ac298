#pragma once

#include "platform/dispatch/queue.h"

// Runs the work on the main thread: at once when called there, else queued on the main queue
// without waiting (first in, first out, so work queued from one thread keeps its order).
inline void ZADRunOnMainThread(platform::Work work) { platform::runOnMainThread(std::move(work)); }
