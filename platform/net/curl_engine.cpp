#include "platform/net/curl_engine.h"

#include "platform/dispatch/clock.h"
#include "platform/net/task_driver.h"

namespace platform::net {

namespace {
// Longest sleep of an engine while tasks run and nothing is due.
constexpr std::chrono::milliseconds kMaxWait{1000};
// Virtual time moves without waking an engine, so under a manual clock it looks at its
// time-outs this often while one is pending.
constexpr std::chrono::milliseconds kManualClockPoll{5};

// Handles kept for reuse: about as many as tasks usually start between two turns of the engine.
constexpr size_t kSpareHandles = 16;

bool manualClockInstalled() { return dynamic_cast<ManualClock*>(&platform::clock()) != nullptr; }

CURLM* makeMulti() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURLM* multi = curl_multi_init();
  // Kept-alive connections stay for later tasks, whatever the number of tasks running now.
  curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, 256L);
  return multi;
}
}  // namespace

CurlEngine& CurlEngine::of(const TaskRun& run) {
  const bool streamed = run.body->kind == TaskBody::Kind::Stream || run.request->httpBodyStream;
  if (!streamed && run.session->delegateQueue() == mainQueue()) return mainLoopEngine();
  return networkThreadEngine();
}

CurlEngine::CurlEngine() = default;

CurlEngine::~CurlEngine() = default;

void CurlEngine::post(Command command) {
  {
    MutexLock lock(mutex_);
    commands_.push_back(std::move(command));
  }
  posted_.notify_one();
  wake();
}

CURLM* CurlEngine::multi() {
  if (CURLM* made = madeMulti()) return made;
  CURLM* made = makeMulti();
  multiMade(made);
  multi_.store(made, std::memory_order_release);
  return made;
}

void CurlEngine::waitForCommand(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(mutex_);
  while (commands_.empty()) {
    if (!lock.waitUntil(posted_, deadline)) return;
  }
}

void CurlEngine::start(TaskRun run) {
  post([this, run = std::move(run)]() mutable {
    const uint64_t identifier = run.task->taskIdentifier();
    auto driver = std::make_unique<TaskDriver>(*this, std::move(run));
    TaskDriver& started = *driver;
    drivers_[identifier] = std::move(driver);
    started.start();
  });
}

void CurlEngine::withDriver(uint64_t taskIdentifier, std::function<void(TaskDriver&)> work) {
  post([this, taskIdentifier, work = std::move(work)] {
    auto it = drivers_.find(taskIdentifier);
    if (it != drivers_.end()) work(*it->second);
  });
}

void CurlEngine::addHandle(CURL* easy) { curl_multi_add_handle(multi(), easy); }

void CurlEngine::removeHandle(CURL* easy) { curl_multi_remove_handle(multi(), easy); }

void CurlEngine::flushLater(uint64_t taskIdentifier) { toFlush_.push_back(taskIdentifier); }

CurlEasy CurlEngine::takeEasyHandle() {
  if (spareHandles_.empty()) {
    multi();  // libcurl is set up first
    return CurlEasy(curl_easy_init());
  }
  CurlEasy easy = std::move(spareHandles_.back());
  spareHandles_.pop_back();
  return easy;
}

void CurlEngine::giveBackEasyHandle(CurlEasy easy) {
  if (!easy || spareHandles_.size() >= kSpareHandles) return;
  curl_easy_reset(easy.get());
  spareHandles_.push_back(std::move(easy));
}

bool CurlEngine::hasCommands() {
  MutexLock lock(mutex_);
  return !commands_.empty();
}

bool CurlEngine::runCommands() {
  std::deque<Command> commands;
  {
    MutexLock lock(mutex_);
    commands.swap(commands_);
  }
  for (Command& command : commands) command();
  return !commands.empty();
}

bool CurlEngine::endTurn(std::optional<std::chrono::milliseconds>& wait) {
  const bool finished = readFinishedTransfers();
  for (uint64_t identifier : std::exchange(toFlush_, {})) {
    auto it = drivers_.find(identifier);
    if (it != drivers_.end()) it->second->flush();
  }
  std::erase_if(drivers_, [](const auto& entry) { return entry.second->finished(); });
  wait = checkDeadlines();
  std::erase_if(drivers_, [](const auto& entry) { return entry.second->finished(); });
  if (drivers_.empty()) wait.reset();
  return finished;
}

bool CurlEngine::readFinishedTransfers() {
  CURLM* const multi = madeMulti();
  if (multi == nullptr) return false;
  bool any = false;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const CURLcode code = message->data.result;
    TaskDriver* driver = nullptr;
    curl_easy_getinfo(easy, CURLINFO_PRIVATE, &driver);
    curl_multi_remove_handle(multi, easy);
    if (driver != nullptr) driver->transferDone(code);
    any = true;
  }
  return any;
}

std::optional<std::chrono::milliseconds> CurlEngine::checkDeadlines() {
  const MonotonicTime now = platform::monotonicNow();
  const auto realNow = std::chrono::steady_clock::now();
  Duration wait = kMaxWait;
  bool timing = false;
  for (auto& [identifier, driver] : drivers_) {
    if (auto due = driver->responseDue(); due && *due <= realNow) driver->flush();
    if (auto deadline = driver->nextDeadline(); deadline && *deadline <= now) {
      driver->onDeadline(now);
    }
    if (auto due = driver->responseDue()) wait = std::min<Duration>(wait, *due - realNow);
    if (auto deadline = driver->nextDeadline()) {
      wait = std::min<Duration>(wait, *deadline - now);
      timing = true;
    }
  }
  if (timing && manualClockInstalled()) wait = std::min<Duration>(wait, kManualClockPoll);
  return std::max(std::chrono::ceil<std::chrono::milliseconds>(wait), std::chrono::milliseconds(1));
}

}  // namespace platform::net
