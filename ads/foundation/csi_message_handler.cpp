#include "ads/foundation/csi_message_handler.h"

#include "platform/foundation/text_number.h"

namespace {

constexpr const char* kWebViewAction = "make_wv";

const std::string* text(const platform::Dictionary& parameters, std::string_view key) {
  const platform::Value* value = parameters.find(key);
  return value ? value->stringIf() : nullptr;
}

// Calls the handler's operation when the handler is a CSI handler.
template <void (ZADCSIZMSGHandler::*operation)(const std::shared_ptr<ZADAdView>&,
                                               const platform::Dictionary&)>
ZADZMSGHandler::Action forward() {
  return [](ZADZMSGHandler& handler, const std::shared_ptr<ZADAdView>& adView,
            const platform::Dictionary& parameters) {
    if (auto* csiHandler = dynamic_cast<ZADCSIZMSGHandler*>(&handler)) {
      (csiHandler->*operation)(adView, parameters);
    }
  };
}

}  // namespace

const ZADZMSGHandler::ActionTable* ZADCSIZMSGHandler::actionBlockDictionary() const {
  static const ActionTable table = {
      {"instrument", forward<&ZADCSIZMSGHandler::adViewDidReceiveCSINotification>()},
  };
  return &table;
}

const ZADZMSGHandler::ActionTable& ZADCSIZMSGHandler::subActionBlockDictionary() {
  static const ActionTable table = {
      {"tick", forward<&ZADCSIZMSGHandler::adViewDidReceiveTickAction>()},
      {"experiment", forward<&ZADCSIZMSGHandler::adViewDidReceiveExperimentAction>()},
      {"extra", forward<&ZADCSIZMSGHandler::adViewDidReceiveExtraAction>()},
  };
  return table;
}

void ZADCSIZMSGHandler::adViewDidReceiveCSINotification(const std::shared_ptr<ZADAdView>& adView,
                                                        const platform::Dictionary& parameters) {
  runSubAction(subActionBlockDictionary(), "action", adView, parameters);
}

void ZADCSIZMSGHandler::adViewDidReceiveTickAction(const std::shared_ptr<ZADAdView>& adView,
                                                   const platform::Dictionary& parameters) {
  (void)adView;
  const std::string* label = text(parameters, "label");
  const std::string* startLabel = text(parameters, "start_label");
  const std::string* timestampText = text(parameters, "timestamp");
  const int64_t timestamp = timestampText ? platform::integerValueOfText(*timestampText) : 0;
  if (!label || timestamp == 0) return;
  csi_.setTimestamp(timestamp, *label);
  const int64_t start = csi_.timestampForLabel(startLabel ? *startLabel : "native:view_load");
  if (start == 0 || start > timestamp) return;
  auto recorder = csi_.timeRecorderForAction(kWebViewAction);
  if (!recorder) return;
  auto variable = ZADCSIVariableTiming::make(*label, static_cast<double>(start));
  variable->setLength(static_cast<double>(timestamp - start));
  recorder->addCompletedVariable(variable);
}

void ZADCSIZMSGHandler::adViewDidReceiveExperimentAction(const std::shared_ptr<ZADAdView>& adView,
                                                         const platform::Dictionary& parameters) {
  (void)adView;
  const std::string* value = text(parameters, "value");
  auto recorder = csi_.timeRecorderForAction(kWebViewAction);
  if (value && recorder) recorder->addExperimentID(*value);
}

void ZADCSIZMSGHandler::adViewDidReceiveExtraAction(const std::shared_ptr<ZADAdView>& adView,
                                                    const platform::Dictionary& parameters) {
  (void)adView;
  const std::string* name = text(parameters, "name");
  const std::string* value = text(parameters, "value");
  auto recorder = csi_.timeRecorderForAction(kWebViewAction);
  if (name && value && recorder) recorder->setCustomizedParameterValue(*value, *name);
}
