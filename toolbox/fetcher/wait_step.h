#pragma once

// One step of a fetcher's blocking wait: callbacks arrive on the main queue, so a wait on the main
// thread runs the main loop a turn (up to 1 ms); elsewhere it sleeps 1 ms.

#include <chrono>
#include <thread>

#include "platform/dispatch/queue.h"

inline void waitStep() {
  if (platform::isMainThread()) {
    platform::runMainLoopOnce(std::chrono::milliseconds(1));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
