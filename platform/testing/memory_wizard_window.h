#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wizard_controls.h"

namespace platform::testing {

// Each control keeps its state in plain fields a test reads and sets.
template <class Base>
class MemoryControl : public Base {
public:
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    bool hidden = false;
};

class MemoryTextField : public MemoryControl<TextField> {
public:
    std::string stringValue() const override { return text; }
    void setStringValue(const std::string& t) override { text = t; }
    std::string text;
};

class MemoryButton : public MemoryControl<Button> {
public:
    explicit MemoryButton(std::string t = {}) : titleText(std::move(t)) {}
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }
    std::string title() const override { return titleText; }
    void setTitle(const std::string& t) override { titleText = t; }
    ControlState state() const override { return controlState; }
    void setState(ControlState s) override { controlState = s; }
    bool enabled = true;
    std::string titleText;
    ControlState controlState = ControlState::Off;
};

class MemoryProgressIndicator : public MemoryControl<ProgressIndicator> {
public:
    double doubleValue() const override { return value; }
    void setDoubleValue(double v) override { value = v; }
    void startAnimation() override { animating = true; }
    void stopAnimation() override { animating = false; }
    bool isAnimating() const override { return animating; }
    bool animating = false;
    double value = 0;
};

// Tabs as (identifier, label) pairs; an empty identifier stands for a tab without one.
class MemoryTabView : public MemoryControl<TabView> {
public:
    explicit MemoryTabView(std::vector<std::pair<std::string, std::string>> t)
        : tabs(std::move(t)), selected(0) {}
    void selectTabWithIdentifier(const std::string& identifier) override {
        for (std::size_t i = 0; i < tabs.size(); ++i) {
            if (!identifier.empty() && tabs[i].first == identifier) selected = i;
        }
    }
    std::optional<std::string> selectedIdentifier() const override {
        if (!selected || tabs[*selected].first.empty()) return std::nullopt;
        return tabs[*selected].first;
    }
    std::optional<std::string> selectedLabel() const override {
        return selected ? std::optional(tabs[*selected].second) : std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> tabs;
    std::optional<std::size_t> selected;
};

class MemoryPopUpButton : public MemoryControl<PopUpButton> {
public:
    void removeAllItems() override {
        items.clear();
        toolTips.clear();
        selected.reset();
    }
    void addItemWithTitle(const std::string& title) override {
        items.emplace_back(title, std::any{});
        toolTips.emplace_back();
        if (!selected) selected = 0;
    }
    void setToolTipOfLastItem(const std::string& toolTip) override {
        if (!toolTips.empty()) toolTips.back() = toolTip;
    }
    void setRepresentedObjectOfLastItem(std::any value) override {
        if (!items.empty()) items.back().second = std::move(value);
    }
    std::any selectedRepresentedObject() const override {
        return selected ? items[*selected].second : std::any{};
    }
    int numberOfItems() const override { return static_cast<int>(items.size()); }
    std::optional<std::string> titleOfSelectedItem() const override {
        return selected ? std::optional(items[*selected].first) : std::nullopt;
    }
    std::vector<std::pair<std::string, std::any>> items;
    std::vector<std::string> toolTips;
    std::optional<std::size_t> selected;
};

class MemoryPathControl : public MemoryControl<PathControl> {
public:
    std::string url() const override { return value; }
    void setURL(const std::string& u) override { value = u; }
    std::string value;
};

class MemoryImageView : public MemoryControl<ImageView> {
public:
    std::string toolTip() const override { return tip; }
    void setToolTip(const std::string& t) override { tip = t; }
    std::string tip;
};

// The wizard's window in memory, with the step tabs and inner tabs of the real one.
class MemoryWizardWindow : public WizardWindow {
public:
    MemoryWizardWindow();
    const WizardOutlets& outlets() const override { return outlets_; }
    void setContent(std::shared_ptr<WizardContent> content) override {
        content_ = std::move(content);
    }
    bool isVisible() const override { return visible; }
    void makeKeyAndOrderFront() override;
    void performClose() override;
    // Answers `folderChoice` (cancelled unless a test says otherwise).
    FolderChoice runFolderChooser(const FolderChooserOptions& options) override {
        chooserOptions = options;
        return folderChoice;
    }

    MemoryTextField mainHeaderField, initialLoginErrorTextField, initialSignInWaitingTextField,
        initialSignInHintTextField, newQorNameTextField, newQorPathTextField, newQorNameErrorLabel,
        newQorPathErrorLabel, existingQorWarningTextField, finishQorNameLabel;
    MemoryControl<Control> initialSignInWaitingBox;
    MemoryTabView setupStepTabView, initialFreshInstallOrReconfigureTabView;
    MemoryButton mainPreviousButton{"Back"}, mainNextButton{"Next"}, newQorRadioButton;
    MemoryProgressIndicator loadingSpinner, stepProgressIndicator;
    MemoryPopUpButton existingQorSelector;
    MemoryImageView existingQorPathWarning, finishQorPathWarning;
    MemoryPathControl finishQorPathWidget;

    bool visible = false;
    FolderChoice folderChoice;
    std::optional<FolderChooserOptions> chooserOptions;

private:
    WizardOutlets outlets_;
    std::shared_ptr<WizardContent> content_;
};

}  // namespace platform::testing
