#include "platform/media/gst/gst_pipeline.h"

#include "platform/dispatch/queue.h"
#include "platform/foundation/log.h"
#include "platform/foundation/thread_annotations.h"
#include "platform/media/media_error.h"

namespace platform::media::gst {

void ensureInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

ObjectPtr<GstElement> makeElement(const char* factory, const char* name) {
  ensureInitialized();
  GstElement* element = gst_element_factory_make(factory, name);
  if (!element) logf("The media framework has no element \"%s\"", factory);
  return ObjectPtr<GstElement>(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

Error mediaError(int64_t code, const std::string& description) {
  return Error::withDescription(kMediaErrorDomain, code, description);
}

// Shared with the bus handler, which outlives nothing: the pipeline marks it closed before it
// removes the handler, and queued deliveries check it on the main queue.
struct Pipeline::Delivery {
  Mutex mutex;
  bool open VKR_GUARDED_BY(mutex) = true;
  PipelineEvents events;

  template <typename Pick, typename... Args>
  static void post(const std::weak_ptr<Delivery>& weak, Pick pick, Args... args) {
    mainQueue()->async([weak, pick, args...] {
      std::shared_ptr<Delivery> delivery = weak.lock();
      if (!delivery) return;
      decltype(pick(delivery->events)) handler;
      {
        MutexLock lock(delivery->mutex);
        if (!delivery->open) return;
        handler = pick(delivery->events);
      }
      if (handler) handler(args...);
    });
  }
};

Pipeline::Pipeline(ObjectPtr<GstElement> element, PipelineEvents events)
    : element_(std::move(element)), delivery_(std::make_shared<Delivery>()) {
  delivery_->events = std::move(events);
  using WeakDelivery = std::weak_ptr<Delivery>;
  ObjectPtr<GstBus> bus(gst_element_get_bus(element_.get()));
  auto handler = [](GstBus*, GstMessage* message, gpointer data) -> GstBusSyncReply {
    const WeakDelivery& weak = *static_cast<WeakDelivery*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
      case GST_MESSAGE_EOS:
        Delivery::post(weak, [](const PipelineEvents& e) { return e.endOfStream; });
        break;
      case GST_MESSAGE_ERROR: {
        GError* gerror = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &gerror, &debug);
        std::string text = gerror && gerror->message ? gerror->message : "media error";
        if (debug) log(format("Media framework: %s (%s)", text.c_str(), debug));
        g_clear_error(&gerror);
        g_free(debug);
        Delivery::post(
            weak, [](const PipelineEvents& e) { return e.error; }, mediaError(kMediaFailed, text));
        break;
      }
      case GST_MESSAGE_BUFFERING: {
        gint percent = 100;
        gst_message_parse_buffering(message, &percent);
        Delivery::post(
            weak, [](const PipelineEvents& e) { return e.buffering; }, static_cast<int>(percent));
        break;
      }
      default:
        break;
    }
    return GST_BUS_DROP;
  };
  gst_bus_set_sync_handler(bus.get(), handler, new WeakDelivery(delivery_),
                           [](gpointer data) { delete static_cast<WeakDelivery*>(data); });
}

Pipeline::~Pipeline() {
  {
    MutexLock lock(delivery_->mutex);
    delivery_->open = false;
  }
  gst_element_set_state(element_.get(), GST_STATE_NULL);
  ObjectPtr<GstBus> bus(gst_element_get_bus(element_.get()));
  gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
}

Status Pipeline::setState(GstState state, Duration timeout) {
  GstStateChangeReturn change = gst_element_set_state(element_.get(), state);
  if (change == GST_STATE_CHANGE_ASYNC) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    change = gst_element_get_state(element_.get(), nullptr, nullptr,
                                   static_cast<GstClockTime>(nanoseconds.count()));
  }
  if (change == GST_STATE_CHANGE_FAILURE) {
    return mediaError(kMediaFailed, "The media pipeline could not change its state");
  }
  if (change == GST_STATE_CHANGE_ASYNC) {
    return mediaError(kMediaFailed, "The media pipeline did not change its state in time");
  }
  return okStatus();
}

void Pipeline::requestState(GstState state) { gst_element_set_state(element_.get(), state); }

GstState Pipeline::state() const {
  GstState current = GST_STATE_NULL;
  gst_element_get_state(element_.get(), &current, nullptr, 0);
  return current;
}

std::optional<double> Pipeline::position() const {
  gint64 value = 0;
  if (!gst_element_query_position(element_.get(), GST_FORMAT_TIME, &value) || value < 0) {
    return std::nullopt;
  }
  return static_cast<double>(value) / GST_SECOND;
}

std::optional<double> Pipeline::duration() const {
  gint64 value = 0;
  if (!gst_element_query_duration(element_.get(), GST_FORMAT_TIME, &value) || value < 0) {
    return std::nullopt;
  }
  return static_cast<double>(value) / GST_SECOND;
}

bool Pipeline::seek(double position, double rate) {
  const auto start = static_cast<gint64>(std::max(0.0, position) * GST_SECOND);
  if (!gst_element_seek(element_.get(), rate, GST_FORMAT_TIME,
                        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                        GST_SEEK_TYPE_SET, start, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE)) {
    return false;
  }
  // A flushing seek prerolls again; until it has, the position still reads the old one.
  gst_element_get_state(element_.get(), nullptr, nullptr, 2 * GST_SECOND);
  return true;
}

void Pipeline::sendEndOfStream() { gst_element_send_event(element_.get(), gst_event_new_eos()); }

}  // namespace platform::media::gst
