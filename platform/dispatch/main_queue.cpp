#include <glib.h>

#include <atomic>
#include <deque>
#include <thread>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_work.h"
#include "platform/dispatch/scheduler.h"
#include "platform/foundation/thread_annotations.h"

namespace platform {

namespace {

// Static initialisation runs on the thread that starts the process: that is the main thread.
const std::thread::id kMainThreadId = std::this_thread::get_id();

// Main-queue work runs from one source of the GLib default main context, in the order it was
// posted. Each dispatch runs the items that were waiting when it began, so work posted meanwhile
// waits for the next turn of the loop and other sources (input, the web view) keep running.
// The source stays attached for the life of the process and is ready while work waits, rather
// than made anew for every batch of work. The loop asks it before it waits, so only a loop
// waiting on another thread needs waking when work comes.
class MainQueue final : public DispatchQueue {
 public:
  MainQueue() : DispatchQueue("main") {
    GSource* source = g_source_new(&sourceFuncs_, sizeof(Source));
    reinterpret_cast<Source*>(source)->queue = this;
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_name(source, "platform main queue");
    g_source_attach(source, g_main_context_default());  // the context keeps it
  }

  void async(Work work) override {
    {
      MutexLock lock(mutex_);
      items_.push_back(std::move(work));
      if (scheduled_.exchange(true)) return;
    }
    GMainContext* context = g_main_context_default();
    if (!g_main_context_is_owner(context)) g_main_context_wakeup(context);
  }

  bool isCurrent() const override { return isMainThread(); }

  bool hasPendingWork() {
    MutexLock lock(mutex_);
    return !items_.empty();
  }

 private:
  struct Source {
    GSource base;
    MainQueue* queue;
  };

  static MainQueue& of(GSource* source) { return *reinterpret_cast<Source*>(source)->queue; }
  static gboolean prepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return of(source).scheduled_.load();
  }
  static gboolean check(GSource* source) { return of(source).scheduled_.load(); }
  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    of(source).drain();
    return G_SOURCE_CONTINUE;
  }
  // GLib takes the table by a pointer to non-const.
  static inline GSourceFuncs sourceFuncs_ = {
      &MainQueue::prepare, &MainQueue::check, &MainQueue::dispatch, nullptr, nullptr, nullptr};

  void drain() {
    size_t budget;
    {
      MutexLock lock(mutex_);
      budget = items_.size();
    }
    while (budget-- > 0) {
      Work work;
      {
        MutexLock lock(mutex_);
        if (items_.empty()) break;
        work = std::move(items_.front());
        items_.pop_front();
      }
      runWork(label(), work);
    }
    MutexLock lock(mutex_);
    if (items_.empty()) scheduled_ = false;  // else it stays ready for the next turn
  }

  Mutex mutex_;
  std::deque<Work> items_ VKR_GUARDED_BY(mutex_);
  // Set with the first item of a batch and cleared with the last, under the mutex; read without
  // it by the loop.
  std::atomic<bool> scheduled_{false};
};

MainQueue& mainQueueInstance() {
  static MainQueue* queue = new MainQueue();  // lives as long as the process
  return *queue;
}

}  // namespace

bool isMainThread() { return std::this_thread::get_id() == kMainThreadId; }

const QueuePtr& mainQueue() {
  static const QueuePtr queue(&mainQueueInstance(), [](DispatchQueue*) {});
  return queue;
}

void runOnMainThread(Work work) {
  if (isMainThread()) {
    runWork(mainQueue()->label(), work);
  } else {
    mainQueue()->async(std::move(work));
  }
}

void drainMainQueue() {
  // Bounded, so work that keeps re-posting itself cannot hang the caller.
  for (int turn = 0; turn < 100000 && mainQueueInstance().hasPendingWork(); ++turn) {
    g_main_context_iteration(g_main_context_default(), FALSE);
  }
}

}  // namespace platform
