#pragma once

#include <gst/gst.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/clock.h"
#include "platform/foundation/error.h"

namespace platform::media::gst {

// Initialises GStreamer once per process; any thread.
void ensureInitialized();

struct ObjectUnref {
  void operator()(gpointer object) const {
    if (object) gst_object_unref(object);
  }
};
// The one owner of a GStreamer object reference.
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

// An element made from a factory name; null when the factory is missing.
ObjectPtr<GstElement> makeElement(const char* factory, const char* name = nullptr);

// The error of a failed GStreamer operation, with the framework's message when there is one.
Error mediaError(int64_t code, const std::string& description);

// What a pipeline's bus tells its owner. Delivered on the main queue, in order, and never after
// the pipeline is gone.
struct PipelineEvents {
  std::function<void()> endOfStream;
  std::function<void(const Error& error)> error;
  // Percent of the buffer filled; below 100 a stream stalls.
  std::function<void(int percent)> buffering;
};

// Owns a pipeline, sets it to NULL when destroyed and hands its bus messages to the main queue.
// Thread-safe: state changes and queries may come from any thread.
class Pipeline {
 public:
  Pipeline(ObjectPtr<GstElement> element, PipelineEvents events);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  GstElement* element() const { return element_.get(); }

  // Changes the state and waits up to the timeout for the change to complete.
  Status setState(GstState state, Duration timeout = seconds(5));
  // Asks for the state without waiting for it.
  void requestState(GstState state);
  GstState state() const;
  // Seconds; nothing while unknown.
  std::optional<double> position() const;
  std::optional<double> duration() const;
  // A flushing seek to the position (seconds) at the rate, waiting briefly until it took effect;
  // answers whether it was accepted.
  bool seek(double position, double rate);
  // Ends the stream from its sources, so that muxers write their headers; endOfStream follows.
  void sendEndOfStream();

 private:
  struct Delivery;
  ObjectPtr<GstElement> element_;
  std::shared_ptr<Delivery> delivery_;
};

}  // namespace platform::media::gst
