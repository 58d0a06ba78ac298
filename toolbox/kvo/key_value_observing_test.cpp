#include "toolbox/kvo/key_value_observing.h"

#include <gtest/gtest.h>

#include "platform/foundation/json.h"
#include "platform/testing/assertion_capture.h"

namespace {

using platform::Dictionary;
using platform::KeyValueObservable;
using platform::Value;

// An observer that records what each of its two selectors receives.
struct Recorder {
  std::vector<std::string> seen;

  static void onChange(void* self, const ZSDK_ZTMKeyValueChangeNotification& n) {
    auto* recorder = static_cast<Recorder*>(self);
    const Dictionary change = n.change().value_or(Dictionary());
    const Value* newValue = change.find(platform::kKeyValueChangeNewKey);
    recorder->seen.push_back("change " + n.keyPath() + "=" +
                             (newValue ? newValue->stringOr("?") : "-") + " " +
                             (n.userInfo() ? n.userInfo()->stringOr("?") : "-"));
  }
  static void onOther(void* self, const ZSDK_ZTMKeyValueChangeNotification& n) {
    static_cast<Recorder*>(self)->seen.push_back("other " + n.keyPath());
  }
};

class KeyValueObservingTest : public ::testing::Test {
 protected:
  void TearDown() override { ztm_stopObservingAllKeyPaths(&recorder_); }

  std::shared_ptr<KeyValueObservable> view_ = std::make_shared<KeyValueObservable>();
  std::shared_ptr<KeyValueObservable> other_ = std::make_shared<KeyValueObservable>();
  Recorder recorder_;
};

TEST_F(KeyValueObservingTest, AddingTheSameRegistrationAgainReplacesIt) {
  ztm_addObserver(view_, &recorder_, "frame", &Recorder::onChange, Value("first"),
                  platform::kKeyValueObservingOptionNew);
  ztm_addObserver(view_, &recorder_, "frame", &Recorder::onChange, Value("second"),
                  platform::kKeyValueObservingOptionNew);
  ztm_addObserver(view_, &recorder_, "frame", &Recorder::onOther, std::nullopt, 0);
  view_->setValueForKey("frame", "1x1");
  view_->setValueForKey("bounds", "ignored");
  EXPECT_EQ(recorder_.seen, (std::vector<std::string>{"change frame=1x1 second", "other frame"}));
}

TEST_F(KeyValueObservingTest, RemovingOneOrEveryRegistration) {
  ztm_addObserver(view_, &recorder_, "frame", &Recorder::onChange, std::nullopt,
                  platform::kKeyValueObservingOptionNew);
  ztm_addObserver(other_, &recorder_, "bounds", &Recorder::onOther, std::nullopt, 0);
  ztm_removeObserver(*view_, &recorder_, "never", &Recorder::onChange);  // nothing to remove
  ztm_removeObserver(*view_, &recorder_, "frame", &Recorder::onOther);   // nor here
  view_->setValueForKey("frame", "a");
  ztm_removeObserver(*view_, &recorder_, "frame", &Recorder::onChange);
  view_->setValueForKey("frame", "b");
  other_->setValueForKey("bounds", "c");
  EXPECT_EQ(recorder_.seen, (std::vector<std::string>{"change frame=a -", "other bounds"}));

  recorder_.seen.clear();
  ztm_addObserver(view_, &recorder_, "frame", &Recorder::onChange, std::nullopt, 0);
  Recorder bystander;
  ztm_addObserver(view_, &bystander, "frame", &Recorder::onOther, std::nullopt, 0);
  ztm_stopObservingAllKeyPaths(&recorder_);
  view_->setValueForKey("frame", "d");
  other_->setValueForKey("bounds", "e");
  EXPECT_TRUE(recorder_.seen.empty());
  EXPECT_EQ(bystander.seen, (std::vector<std::string>{"other frame"}));
  ztm_stopObservingAllKeyPaths(&bystander);
}

TEST_F(KeyValueObservingTest, AnObjectThatIsGoneIsNoLongerObserved) {
  ztm_addObserver(view_, &recorder_, "frame", &Recorder::onChange, std::nullopt, 0);
  view_.reset();
  ztm_stopObservingAllKeyPaths(&recorder_);  // deregisters from nothing
  EXPECT_TRUE(recorder_.seen.empty());
}

TEST_F(KeyValueObservingTest, MissingPiecesAreACallerError) {
  platform::testing::AssertionCapture assertions;
  ztm_addObserver(view_, &recorder_, "", &Recorder::onChange, std::nullopt, 0);
  ztm_removeObserver(*view_, nullptr, "frame", &Recorder::onChange);
  ztm_addObserver(view_, &recorder_, "frame", nullptr, std::nullopt, 0);
  EXPECT_EQ(assertions.messages(),
            std::vector<std::string>(3, "Missing observer, keyPath, or selector"));
  view_->setValueForKey("frame", "changed");  // the registration without a selector calls nothing
  EXPECT_TRUE(recorder_.seen.empty());
  ztm_stopObservingAllKeyPaths(&recorder_);
}

TEST(KeyValueChangeNotificationTest, EqualityNeedsEveryFieldPresent) {
  auto object = std::make_shared<KeyValueObservable>();
  const Dictionary change{{"kind", 1}};
  const ZSDK_ZTMKeyValueChangeNotification a("k", object, Value("u"), change);
  const ZSDK_ZTMKeyValueChangeNotification b("k", object, Value("u"), change);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a.hash(), b.hash());
  EXPECT_FALSE(a == ZSDK_ZTMKeyValueChangeNotification("j", object, Value("u"), change));
  const ZSDK_ZTMKeyValueChangeNotification noInfo("k", object, std::nullopt, change);
  EXPECT_FALSE(noInfo == ZSDK_ZTMKeyValueChangeNotification("k", object, std::nullopt, change));
}

TEST(KeyValueObservableTest, OptionsShapeTheChange) {
  struct Observer : platform::KeyValueObserver {
    std::vector<std::string> changes;
    void observeValueForKeyPath(const std::string&, const KeyValueObservable&,
                                const Dictionary& change, const void*) override {
      changes.push_back(*platform::toJSON(Value(change)));
    }
  };
  auto object = std::make_shared<KeyValueObservable>();
  object->setValueForKey("x", 1);
  auto observer = std::make_shared<Observer>();
  object->addObserver(
      observer, "x",
      platform::kKeyValueObservingOptionNew | platform::kKeyValueObservingOptionOld |
          platform::kKeyValueObservingOptionInitial | platform::kKeyValueObservingOptionPrior,
      nullptr);
  object->setValueForKey("x", 2);
  EXPECT_EQ(object->valueForKey("x"), Value(2));
  EXPECT_EQ(observer->changes,
            (std::vector<std::string>{R"({"kind":1,"new":1})",
                                      R"({"kind":1,"notificationIsPrior":true,"old":1})",
                                      R"({"kind":1,"old":1,"new":2})"}));
  object->removeObserver(observer.get(), "x", nullptr);
  object->setValueForKey("x", 3);
  EXPECT_EQ(observer->changes.size(), 3u);
}

}  // namespace
