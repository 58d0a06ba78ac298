#include "messaging/service/zcm_pubsub_topic.h"

#include "platform/foundation/regex.h"

namespace {

// "-" stands last in the class, so it is itself and not a range.
const std::optional<platform::Regex>& topicRegex() {
  static const std::optional<platform::Regex> regex = [] {
    platform::Result<platform::Regex> compiled =
        platform::Regex::compile("/topics/([a-zA-Z0-9_.~%-]+)");
    return compiled.ok() ? std::optional<platform::Regex>(*compiled) : std::nullopt;
  }();
  return regex;
}

}  // namespace

std::optional<ZCMPubSubTopic> ZCMPubSubTopic::topicWithExpression(std::string_view expression) {
  const std::optional<platform::Regex>& regex = topicRegex();
  if (!regex || !regex->matchesWhole(expression)) return std::nullopt;
  std::optional<platform::Regex::Groups> groups = regex->matchAtStart(expression);
  if (!groups || groups->size() < 2 || !(*groups)[1] || (*groups)[1]->empty()) return std::nullopt;
  return ZCMPubSubTopic(*(*groups)[1]);
}
