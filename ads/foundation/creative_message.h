#pragma once

// Creative messages: an ad creative (or the hidden SDK-core page) talks to the engine by
// navigating its web view to a "zmsg:" URL, which becomes a ZADNotification; handlers take the
// messages their class has actions for. The rendering code subclasses the handler base; the
// foundation's own handler is the CSI one.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/url.h"
#include "platform/foundation/value.h"

// The ad web view a message came from; the rendering code defines it.
class ZADAdView;

// One creative message: a non-empty name and its text parameters.
class ZADNotification {
 public:
  // Whether the URL's scheme is "zmsg", in any case.
  static bool isNotificationURL(const platform::URL& url);
  // The message of a "zmsg:" URL: the name is its decoded path without the first "/" (the host
  // is ignored), the parameters its query's pairs (keys as written, a later key wins). Nothing
  // for another scheme or an empty name.
  static std::optional<ZADNotification> fromURL(const platform::URL& url);
  // Nothing for an empty name.
  static std::optional<ZADNotification> make(std::string name, platform::Dictionary parameters);

  const std::string& name() const { return name_; }
  const platform::Dictionary& parameters() const { return parameters_; }

 private:
  ZADNotification(std::string name, platform::Dictionary parameters)
      : name_(std::move(name)), parameters_(std::move(parameters)) {}

  std::string name_;
  platform::Dictionary parameters_;
};

// The base of every creative-message handler: a subclass names its actions in a table (one per
// class, built once), and may keep messages back while it is not ready (shouldBuffer...); they
// run at a later flushBuffer. Main thread only, as the web views that deliver messages.
class ZADZMSGHandler {
 public:
  using Action =
      std::function<void(ZADZMSGHandler& handler, const std::shared_ptr<ZADAdView>& adView,
                         const platform::Dictionary& parameters)>;
  using ActionTable = std::map<std::string, Action, std::less<>>;

  virtual ~ZADZMSGHandler() = default;

  // The class's actions by message name (exact case); none in the base.
  virtual const ActionTable* actionBlockDictionary() const { return nullptr; }
  // Whether the URL is a creative message that this handler took.
  bool handleRequest(const platform::URL& url, const std::shared_ptr<ZADAdView>& adView);
  // Whether the class has an action for the message; it runs now or, while the handler waits,
  // at a later flush.
  bool handleNotification(const ZADNotification& notification,
                          const std::shared_ptr<ZADAdView>& adView);
  // Whether a message the class takes must wait; the base never waits.
  virtual bool shouldBufferNotification(const ZADNotification& notification,
                                        const std::shared_ptr<ZADAdView>& adView);
  // Offers the kept messages again, oldest first; those still waiting stay kept in that order.
  void flushBuffer();

 protected:
  // Runs the action that the parameter names in the table; an unknown or missing name does
  // nothing. For messages that group several actions under one name.
  void runSubAction(const ActionTable& subActions, std::string_view parameter,
                    const std::shared_ptr<ZADAdView>& adView,
                    const platform::Dictionary& parameters);

 private:
  std::vector<std::pair<ZADNotification, std::shared_ptr<ZADAdView>>> bufferedNotifications_;
};
