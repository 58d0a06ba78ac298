#include "Plugins/vokaru-plugin-push/push_registration_options.h"

#include "platform/foundation/log.h"
#include "platform/foundation/text_number.h"

using platform::ui::UserNotificationAction;
using platform::ui::UserNotificationActionContext;
using platform::ui::UserNotificationCategory;

bool pushOptionIsSet(const platform::Value* value) {
  if (!value) return false;
  if (const std::string* text = value->stringIf()) return platform::boolValueOfText(*text);
  return value->boolOr(false);
}

UserNotificationAction pushActionFromDescription(const platform::Dictionary& action) {
  const auto text = [&](const char* key) {
    const platform::Value* value = action.find(key);
    return value ? value->stringOr("") : std::string();
  };
  UserNotificationAction made;
  made.identifier = text("callback");
  made.title = text("title");
  made.activationMode = pushOptionIsSet(action.find("foreground"))
                            ? platform::ui::UserNotificationActivationMode::Foreground
                            : platform::ui::UserNotificationActivationMode::Background;
  made.destructive = pushOptionIsSet(action.find("destructive"));
  made.authenticationRequired = false;
  return made;
}

namespace {

UserNotificationCategory categoryFrom(const std::string& identifier, const platform::Value& value) {
  UserNotificationCategory category;
  category.identifier = identifier;
  std::vector<UserNotificationAction> defaultActions;
  std::vector<UserNotificationAction> minimalActions;
  for (const char* name : {"yes", "no", "maybe"}) {
    const platform::Value& description = value[name];
    const platform::Dictionary* fields = description.dictionaryIf();
    if (!fields) continue;
    UserNotificationAction action = pushActionFromDescription(*fields);
    if (std::string_view(name) != "maybe") minimalActions.push_back(action);
    defaultActions.push_back(std::move(action));
  }
  category.setActions(std::move(defaultActions), UserNotificationActionContext::Default);
  category.setActions(std::move(minimalActions), UserNotificationActionContext::Minimal);
  return category;
}

}  // namespace

std::vector<std::string> pushTopicNames(const platform::Value& topics) {
  std::vector<std::string> names;
  const platform::Value::Array* list = topics.arrayIf();
  if (!list) {
    if (!topics.isNull()) platform::log("Push Plugin topics are not a list; ignoring them");
    return names;
  }
  for (const platform::Value& topic : *list) {
    if (const std::string* name = topic.stringIf()) {
      names.push_back(*name);
    } else {
      platform::logf("Push Plugin topic %s is not a text; ignoring it",
                     platform::describe(topic).c_str());
    }
  }
  return names;
}

PushRegistrationOptions PushRegistrationOptions::fromIOSOptions(const platform::Value& ios) {
  PushRegistrationOptions options;
  const platform::Dictionary* fields = ios.dictionaryIf();
  if (!fields) return options;
  options.topics = pushTopicNames(ios["topics"]);
  if (pushOptionIsSet(fields->find("badge")))
    options.types |= platform::ui::kUserNotificationTypeBadge;
  if (pushOptionIsSet(fields->find("sound")))
    options.types |= platform::ui::kUserNotificationTypeSound;
  if (pushOptionIsSet(fields->find("alert")))
    options.types |= platform::ui::kUserNotificationTypeAlert;
  options.clearBadge = pushOptionIsSet(fields->find("clearBadge"));
  if (const platform::Dictionary* categories = ios["categories"].dictionaryIf()) {
    for (const auto& [identifier, category] : *categories) {
      platform::logf("categories: key %s", identifier.c_str());
      options.categories.push_back(categoryFrom(identifier, category));
      platform::logf("Adding category %s", identifier.c_str());
    }
  }
  options.senderID = ios["senderID"].stringOr("");
  options.sandbox = !options.senderID.empty() && pushOptionIsSet(fields->find("zcmSandbox"));
  return options;
}
