#include "platform/testing/process_tree.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace platform::testing {

namespace {

struct Entry {
  ProcessInfo info;
  pid_t parent = 0;
};

// Every process's name, state and parent; processes that end meanwhile are left out.
std::map<pid_t, Entry> allProcesses() {
  std::map<pid_t, Entry> processes;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
    if (pid <= 0) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // The name is in parentheses and may itself hold spaces and parentheses.
    const size_t open = line.find('(');
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    Entry found;
    found.info.pid = pid;
    found.info.name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    if (rest >> found.info.state >> found.parent) processes.emplace(pid, std::move(found));
  }
  return processes;
}

}  // namespace

std::vector<ProcessInfo> processTree(pid_t root) {
  const std::map<pid_t, Entry> processes = allProcesses();
  std::multimap<pid_t, pid_t> children;
  for (const auto& [pid, entry] : processes) children.emplace(entry.parent, pid);
  std::vector<ProcessInfo> tree;
  if (auto it = processes.find(root); it != processes.end()) tree.push_back(it->second.info);
  for (size_t i = 0; i < tree.size(); ++i) {
    auto [first, last] = children.equal_range(tree[i].pid);
    for (auto it = first; it != last; ++it) tree.push_back(processes.at(it->second).info);
  }
  return tree;
}

}  // namespace platform::testing
