#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wizard_controls.h"

namespace platform::testing {

class MemoryTextField : public TextField {
public:
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    std::string stringValue() const override { return text; }
    void setStringValue(const std::string& t) override { text = t; }
    bool hidden = false;
    std::string text;
};

class MemoryButton : public Button {
public:
    explicit MemoryButton(std::string t = {}) : titleText(std::move(t)) {}
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }
    std::string title() const override { return titleText; }
    void setTitle(const std::string& t) override { titleText = t; }
    ControlState state() const override { return controlState; }
    void setState(ControlState s) override { controlState = s; }
    bool hidden = false;
    bool enabled = true;
    std::string titleText;
    ControlState controlState = ControlState::Off;
};

class MemoryProgressIndicator : public ProgressIndicator {
public:
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    double doubleValue() const override { return value; }
    void setDoubleValue(double v) override { value = v; }
    void startAnimation() override { animating = true; }
    void stopAnimation() override { animating = false; }
    bool isAnimating() const override { return animating; }
    bool hidden = false;
    bool animating = false;
    double value = 0;
};

// Tabs as (identifier, label) pairs; an empty identifier stands for a tab without one.
class MemoryTabView : public TabView {
public:
    explicit MemoryTabView(std::vector<std::pair<std::string, std::string>> t)
        : tabs(std::move(t)) {}
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    void selectTabWithIdentifier(const std::string& identifier) override;
    std::optional<std::string> selectedIdentifier() const override;
    std::optional<std::string> selectedLabel() const override;
    bool hidden = false;
    std::vector<std::pair<std::string, std::string>> tabs;
    std::optional<std::size_t> selected;
};

class MemoryPopUpButton : public PopUpButton {
public:
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    void removeAllItems() override;
    void addItemWithTitle(const std::string& title) override;
    void setRepresentedObjectOfLastItem(std::any value) override;
    std::any selectedRepresentedObject() const override;
    int numberOfItems() const override { return static_cast<int>(items.size()); }
    std::optional<std::string> titleOfSelectedItem() const override;
    bool hidden = false;
    std::vector<std::pair<std::string, std::any>> items;
    std::optional<std::size_t> selected;
};

class MemoryPathControl : public PathControl {
public:
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    std::string url() const override { return value; }
    void setURL(const std::string& u) override { value = u; }
    bool hidden = false;
    std::string value;
};

class MemoryImageView : public ImageView {
public:
    bool isHidden() const override { return hidden; }
    void setHidden(bool h) override { hidden = h; }
    std::string toolTip() const override { return tip; }
    void setToolTip(const std::string& t) override { tip = t; }
    bool hidden = false;
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
    FolderChoice runFolderChooser(const FolderChooserOptions& options) override;

    MemoryTextField mainHeaderField, initialLoginErrorTextField, newQorNameTextField,
        newQorPathTextField, newQorNameErrorLabel, newQorPathErrorLabel,
        existingQorWarningTextField, finishQorNameLabel;
    MemoryTabView setupStepTabView, initialFreshInstallOrReconfigureTabView;
    MemoryButton mainPreviousButton{"Back"}, mainNextButton{"Next"}, newQorRadioButton;
    MemoryProgressIndicator loadingSpinner, stepProgressIndicator;
    MemoryPopUpButton existingQorSelector;
    MemoryImageView existingQorPathWarning, finishQorPathWarning;
    MemoryPathControl finishQorPathWidget;

    bool visible = false;
    int closes = 0;
    // What the folder chooser answers, in turn; cancelled when none is left.
    std::deque<FolderChoice> folderChoices;
    std::vector<FolderChooserOptions> folderChooserRuns;

private:
    WizardOutlets outlets_;
    std::shared_ptr<WizardContent> content_;
};

}  // namespace platform::testing
