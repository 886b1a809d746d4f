#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/status_bar.h"

namespace platform::testing {

class FakeImage : public Image {
public:
    explicit FakeImage(std::string name) : name_(std::move(name)) {}
    std::string name() const override { return name_; }
    void setTemplate(bool isTemplate) override { template_ = isTemplate; }
    bool isTemplate() const override { return template_; }

private:
    std::string name_;
    bool template_ = false;
};

class FakeMenuItem : public MenuItem {
public:
    FakeMenuItem(std::string title, Selector action, std::string keyEquivalent, bool separator)
        : title_(std::move(title)),
          action_(std::move(action)),
          keyEquivalent_(std::move(keyEquivalent)),
          separator_(separator) {}
    bool isSeparator() const override { return separator_; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override { title_ = title; }
    Selector action() const override { return action_; }
    std::string keyEquivalent() const override { return keyEquivalent_; }
    bool isEnabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    ControlState state() const override { return state_; }
    void setState(ControlState state) override { state_ = state; }
    bool isAlternate() const override { return alternate_; }
    void setAlternate(bool alternate) override { alternate_ = alternate; }
    unsigned keyEquivalentModifierMask() const override { return mask_; }
    void setKeyEquivalentModifierMask(unsigned mask) override { mask_ = mask; }

private:
    std::string title_;
    Selector action_;
    std::string keyEquivalent_;
    bool separator_;
    bool enabled_ = true;
    ControlState state_ = ControlState::Off;
    bool alternate_ = false;
    unsigned mask_ = 0;
};

class FakeMenu : public Menu {
public:
    bool autoenablesItems() const override { return autoenables_; }
    void setAutoenablesItems(bool autoenables) override { autoenables_ = autoenables; }
    void addItem(std::shared_ptr<MenuItem> item) override { items_.push_back(std::move(item)); }
    std::vector<std::shared_ptr<MenuItem>> items() const override { return items_; }

private:
    bool autoenables_ = true;
    std::vector<std::shared_ptr<MenuItem>> items_;
};

class FakeStatusItem : public StatusItem {
public:
    explicit FakeStatusItem(double length) : length_(length) {}
    double length() const override { return length_; }
    bool hasButton() const override { return hasButton_; }
    std::shared_ptr<Image> buttonImage() const override { return image_; }
    void setButtonImage(std::shared_ptr<Image> image) override { image_ = std::move(image); }
    std::shared_ptr<Menu> menu() const override { return menu_; }
    void setMenu(std::shared_ptr<Menu> menu) override { menu_ = std::move(menu); }

    bool hasButton_ = true;

private:
    double length_;
    std::shared_ptr<Image> image_;
    std::shared_ptr<Menu> menu_;
};

// A status bar that keeps everything made through it, so a test can look at the menu as built.
// Images exist for the names in `imageNames` (all three status icons unless a test removes one).
class RecordingStatusBar : public StatusBar {
public:
    std::shared_ptr<StatusItem> makeStatusItem(double length) override;
    std::shared_ptr<Menu> makeMenu() override { return std::make_shared<FakeMenu>(); }
    std::shared_ptr<MenuItem> makeItem(const std::string& title, const Selector& action,
                                       const std::string& keyEquivalent) override {
        return std::make_shared<FakeMenuItem>(title, action, keyEquivalent, false);
    }
    std::shared_ptr<MenuItem> makeSeparator() override {
        return std::make_shared<FakeMenuItem>("", "", "", true);
    }
    std::shared_ptr<Image> imageNamed(const std::string& name) override;

    std::vector<std::string> imageNames{"StatusBarIcon", "StatusBarIconError",
                                        "StatusBarIconStopped"};
    // In the order they were asked for.
    std::vector<std::string> imageRequests;
    std::vector<std::shared_ptr<FakeStatusItem>> statusItems;
};

}  // namespace platform::testing
