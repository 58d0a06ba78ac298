#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/storage/bundle.h"
#include "platform/ui/button.h"
#include "platform/ui/toolbar.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

// Something a localizer can be pointed at; held weakly.
using ZTMLocalizable = std::variant<std::monostate, std::weak_ptr<platform::ui::ViewController>,
                                    std::weak_ptr<platform::ui::View>>;

// Replaces marked texts ("^key") in a tree of views by their translations from a bundle's
// default strings table; texts without the mark, and marked texts without a translation, stay.
// Main thread only, like the views it changes.
class ZSDK_ZTMUILocalizer {
 public:
  explicit ZSDK_ZTMUILocalizer(std::shared_ptr<const platform::Bundle> bundle = nullptr)
      : bundle_(std::move(bundle)) {}

  // The objects set up to be localized at once, then forgotten (see awakeFromNib()).
  void setOwner(ZTMLocalizable owner) { owner_ = std::move(owner); }
  void setOtherObjectToLocalize(ZTMLocalizable object) { otherObject_ = std::move(object); }
  void setYetAnotherObjectToLocalize(ZTMLocalizable object) {
    yetAnotherObject_ = std::move(object);
  }
  const ZTMLocalizable& owner() const { return owner_; }
  const ZTMLocalizable& otherObjectToLocalize() const { return otherObject_; }
  const ZTMLocalizable& yetAnotherObjectToLocalize() const { return yetAnotherObject_; }

  // With an owner: takes the owner's bundle and localizes the owner and the two other objects,
  // recursively. In every case the three are cleared afterwards.
  void awakeFromNib();
  // The main bundle for a view controller or view (interface files have no bundles of their
  // own here); nothing without an owner.
  static std::shared_ptr<const platform::Bundle> bundleForOwner(const ZTMLocalizable& owner);

  // The translation of a marked text; nothing without a bundle, for an unmarked text or when
  // the bundle has no entry for the key.
  std::optional<std::string> localizedStringForString(std::string_view text) const;

  void localizeObject(const ZTMLocalizable& object, bool recursively);
  void localizeView(platform::ui::View& view, bool recursively);
  void localizeToolbar(platform::ui::Toolbar& toolbar);
  void localizeButton(platform::ui::Button& button);

 private:
  std::shared_ptr<const platform::Bundle> bundle_;
  ZTMLocalizable owner_;
  ZTMLocalizable otherObject_;
  ZTMLocalizable yetAnotherObject_;
};
