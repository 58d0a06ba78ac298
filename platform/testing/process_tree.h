#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::testing {

// A running process as /proc shows it.
struct ProcessInfo {
  pid_t pid = 0;
  // The executable's name as the kernel keeps it (at most 15 characters).
  std::string name;
  // "R", "S", "Z" (ended, not yet waited for)...
  char state = 0;
};

// The process and all its descendants as they are now, the root first; empty once the root is
// gone. For tests and benchmarks that watch the processes a program starts (WebKit's web and
// network processes).
std::vector<ProcessInfo> processTree(pid_t root);

}  // namespace platform::testing
