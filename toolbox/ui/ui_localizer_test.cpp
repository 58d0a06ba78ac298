#include "toolbox/ui/ui_localizer.h"

#include <gtest/gtest.h>

#include "platform/testing/test_app.h"
#include "platform/ui/label.h"

namespace {

using platform::ui::BarButtonItem;
using platform::ui::Button;
using platform::ui::ControlState;
using platform::ui::Label;
using platform::ui::Toolbar;
using platform::ui::View;
using platform::ui::ViewController;

class UILocalizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.writeBundleFile("Base.lproj/Localizable.strings",
                         "\"greeting\" = \"Hello\";\n\"ok\" = \"OK\";\n\"same\" = \"same\";\n");
  }
  platform::testing::TestApp app_;
};

TEST_F(UILocalizerTest, OnlyMarkedTextsWithATranslationChange) {
  ZSDK_ZTMUILocalizer localizer(platform::Bundle::mainBundle());
  struct Case {
    const char* text;
    std::optional<std::string> translated;
  };
  for (const Case& c : std::vector<Case>{
           {"^greeting", "Hello"},
           {"^same", "same"},
           {"greeting", std::nullopt},
           {"^missing", std::nullopt},
           {"", std::nullopt},
       }) {
    EXPECT_EQ(localizer.localizedStringForString(c.text), c.translated) << c.text;
  }
  EXPECT_EQ(ZSDK_ZTMUILocalizer().localizedStringForString("^greeting"), std::nullopt);
}

TEST_F(UILocalizerTest, AwakingLocalizesTheOwnersTreeAndForgetsTheObjects) {
  auto controller = std::make_shared<ViewController>();
  auto marked = std::make_shared<Label>();
  marked->setText("^greeting");
  auto plain = std::make_shared<Label>();
  plain->setText("greeting");
  auto untranslated = std::make_shared<Label>();
  untranslated->setText("^missing");
  auto button = std::make_shared<Button>();
  button->setTitle("^ok");
  button->setTitle("^greeting", ControlState::Selected);
  auto nested = std::make_shared<View>();
  nested->addSubview(button);
  controller->view()->addSubview(marked);
  controller->view()->addSubview(plain);
  controller->view()->addSubview(untranslated);
  controller->view()->addSubview(nested);

  auto toolbar = std::make_shared<Toolbar>();
  toolbar->setItems({BarButtonItem::titled("^ok", BarButtonItem::Style::Plain, nullptr),
                     BarButtonItem::flexibleSpace()});

  ZSDK_ZTMUILocalizer localizer;
  localizer.setOwner(std::weak_ptr<ViewController>(controller));
  localizer.setOtherObjectToLocalize(std::weak_ptr<View>(toolbar));
  localizer.awakeFromNib();

  EXPECT_EQ(marked->text(), "Hello");
  EXPECT_EQ(plain->text(), "greeting");
  EXPECT_EQ(untranslated->text(), "^missing");
  EXPECT_EQ(button->title(ControlState::Normal), "OK");
  EXPECT_EQ(button->title(ControlState::Selected), "Hello");
  EXPECT_EQ(toolbar->items()[0]->title(), "OK");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(localizer.owner()));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(localizer.otherObjectToLocalize()));
  EXPECT_EQ(localizer.localizedStringForString("^ok"), "OK");  // the owner's bundle stays
}

TEST_F(UILocalizerTest, WithoutAnOwnerNothingIsLocalized) {
  auto label = std::make_shared<Label>();
  label->setText("^greeting");
  ZSDK_ZTMUILocalizer localizer;
  localizer.setOtherObjectToLocalize(std::weak_ptr<View>(label));
  localizer.awakeFromNib();
  EXPECT_EQ(label->text(), "^greeting");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(localizer.otherObjectToLocalize()));
  EXPECT_EQ(ZSDK_ZTMUILocalizer::bundleForOwner(std::monostate()), nullptr);
}

}  // namespace
