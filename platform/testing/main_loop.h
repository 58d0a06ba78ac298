#pragma once

#include <functional>

#include "platform/dispatch/clock.h"

namespace platform::testing {

// Runs the main loop (the GLib default main context) until the condition holds or the timeout
// passes in real time. Answers whether the condition held. Main thread only.
bool runMainLoopUntil(const std::function<bool()>& condition, Duration timeout = seconds(10));

// Runs the main loop until every main-queue item posted so far (and what they post) has run.
void drainMainLoop();

}  // namespace platform::testing
