#pragma once
// The page's push registration options (the "ios" dictionary of `init`), read into what the
// plugin asks of the platform and the identity service. Values may be booleans, numbers or texts.
#include <string>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/ui/user_notifications.h"

// Whether an option counts as set: present and true as the platform reads a yes/no from a boolean,
// a number or a text ("true", "1", "yes" are set; "false", "0", a missing value or null are not).
bool pushOptionIsSet(const platform::Value* value);

// A notification action from its description: "callback" (identifier), "title", "foreground"
// (foreground activation when set, background otherwise) and "destructive".
platform::ui::UserNotificationAction pushActionFromDescription(const platform::Dictionary& action);

struct PushRegistrationOptions {
  // Badge 1, sound 2, alert 4, as set.
  unsigned types = platform::ui::kUserNotificationTypeNone;
  bool clearBadge = false;
  // One per key of "categories", with its "yes", "no" and "maybe" actions.
  std::vector<platform::ui::UserNotificationCategory> categories;
  std::string senderID;
  // The device token's environment is the sandbox; only with a sender id.
  bool sandbox = false;
  std::vector<std::string> topics;

  // Reads the "ios" dictionary; anything of the wrong kind counts as absent (and is logged).
  static PushRegistrationOptions fromIOSOptions(const platform::Value& ios);
};

// The topic names of a list; nothing for anything else. Entries that are not texts are skipped
// (and logged).
std::vector<std::string> pushTopicNames(const platform::Value& topics);
