#pragma once
// The syntax of a topic: "/topics/" followed by a non-empty name of ASCII letters, digits and the
// characters "-", "_", ".", "~" and "%", covering the whole text. A plain value.
#include <optional>
#include <string>
#include <string_view>

class ZCMPubSubTopic {
 public:
  // The topic of the expression; nothing unless it has the form above.
  static std::optional<ZCMPubSubTopic> topicWithExpression(std::string_view expression);

  // The part after "/topics/".
  const std::string& topicName() const { return topicName_; }

 private:
  explicit ZCMPubSubTopic(std::string name) : topicName_(std::move(name)) {}
  std::string topicName_;
};
