#pragma once

#include <memory>

#include "ads/foundation/creative_message.h"
#include "ads/foundation/csi.h"

// Takes a creative's "instrument" message, whose "action" parameter names what to record on the
// web-view ("make_wv") recorder: "tick" (an interval from a labelled time stamp to the message's
// own), "experiment" (an experiment id) or "extra" (a report parameter). Nothing is recorded
// while the process does not report. Main thread only.
class ZADCSIZMSGHandler : public ZADZMSGHandler {
 public:
  explicit ZADCSIZMSGHandler(ZADCSI& csi = ZADCSI::sharedInstance()) : csi_(csi) {}

  const ActionTable* actionBlockDictionary() const override;
  static const ActionTable& subActionBlockDictionary();

  void adViewDidReceiveCSINotification(const std::shared_ptr<ZADAdView>& adView,
                                       const platform::Dictionary& parameters);
  // "label" and "timestamp" (milliseconds), from "start_label" (default "native:view_load").
  void adViewDidReceiveTickAction(const std::shared_ptr<ZADAdView>& adView,
                                  const platform::Dictionary& parameters);
  // "value".
  void adViewDidReceiveExperimentAction(const std::shared_ptr<ZADAdView>& adView,
                                        const platform::Dictionary& parameters);
  // "name" and "value".
  void adViewDidReceiveExtraAction(const std::shared_ptr<ZADAdView>& adView,
                                   const platform::Dictionary& parameters);

 private:
  ZADCSI& csi_;
};
