#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/status_bar.h"

namespace platform::testing {

// Each keeps its state in plain fields a test reads and sets.
class FakeImage : public Image {
public:
    explicit FakeImage(std::string n) : name_(std::move(n)) {}
    std::string name() const override { return name_; }
    void setTemplate(bool t) override { isTemplate_ = t; }
    bool isTemplate() const override { return isTemplate_; }
    std::string name_;
    bool isTemplate_ = false;
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
    void setTitle(const std::string& t) override { title_ = t; }
    Selector action() const override { return action_; }
    std::string keyEquivalent() const override { return keyEquivalent_; }
    bool isEnabled() const override { return enabled_; }
    void setEnabled(bool e) override { enabled_ = e; }
    ControlState state() const override { return state_; }
    void setState(ControlState s) override { state_ = s; }
    bool isAlternate() const override { return alternate_; }
    void setAlternate(bool a) override { alternate_ = a; }
    unsigned keyEquivalentModifierMask() const override { return mask_; }
    void setKeyEquivalentModifierMask(unsigned m) override { mask_ = m; }
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
    void setAutoenablesItems(bool a) override { autoenables_ = a; }
    void addItem(std::shared_ptr<MenuItem> item) override { items_.push_back(std::move(item)); }
    std::vector<std::shared_ptr<MenuItem>> items() const override { return items_; }
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
    double length_;
    bool hasButton_ = true;
    std::shared_ptr<Image> image_;
    std::shared_ptr<Menu> menu_;
};

// A status bar that keeps everything made through it, so a test can look at the menu as built.
class RecordingStatusBar : public StatusBar {
public:
    std::shared_ptr<StatusItem> makeStatusItem(double length) override {
        return statusItems.emplace_back(std::make_shared<FakeStatusItem>(length));
    }
    std::shared_ptr<Menu> makeMenu() override { return std::make_shared<FakeMenu>(); }
    std::shared_ptr<MenuItem> makeItem(const std::string& title, const Selector& action,
                                       const std::string& keyEquivalent) override {
        return std::make_shared<FakeMenuItem>(title, action, keyEquivalent, false);
    }
    std::shared_ptr<MenuItem> makeSeparator() override {
        return std::make_shared<FakeMenuItem>("", "", "", true);
    }
    std::shared_ptr<Image> imageNamed(const std::string& name) override {
        return std::make_shared<FakeImage>(name);
    }

    std::vector<std::shared_ptr<FakeStatusItem>> statusItems;
};

}  // namespace platform::testing
