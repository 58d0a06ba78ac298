#pragma once

#include <functional>

#include "platform/dispatch/clock.h"

namespace platform::testing {

// platform::runMainLoopUntil with a test's defaults: a generous time-out, and a look every 5 ms
// since other threads may make the condition true without waking the loop. Main thread only.
bool runMainLoopUntil(const std::function<bool()>& condition, Duration timeout = seconds(10));

// Runs the main loop until every main-queue item posted so far (and what they post) has run.
void drainMainLoop();

}  // namespace platform::testing
