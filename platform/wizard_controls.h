#pragma once

#include <any>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_url.h"
#include "platform/status_bar.h"

// The controls of the setup wizard's window, as its logic sees them. Everything here is main
// thread only. The window is loaded once and lives as long as the application; its controls are
// found by their outlet names.
namespace platform {

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;
    virtual bool isHidden() const = 0;
    virtual void setHidden(bool hidden) = 0;
};

class TextField : public Control {
public:
    virtual std::string stringValue() const = 0;
    virtual void setStringValue(const std::string& text) = 0;
};

// A push button or a radio button.
class Button : public Control {
public:
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual ControlState state() const = 0;
    // Switching a radio button on switches its partners off.
    virtual void setState(ControlState state) = 0;
};

class ProgressIndicator : public Control {
public:
    virtual double doubleValue() const = 0;
    virtual void setDoubleValue(double value) = 0;
    virtual void startAnimation() = 0;
    virtual void stopAnimation() = 0;
    virtual bool isAnimating() const = 0;
};

class TabView : public Control {
public:
    // Nothing changes when no tab has that identifier.
    virtual void selectTabWithIdentifier(const std::string& identifier) = 0;
    // Absent when no tab is selected or the selected one has no identifier.
    virtual std::optional<std::string> selectedIdentifier() const = 0;
    virtual std::optional<std::string> selectedLabel() const = 0;
};

class PopUpButton : public Control {
public:
    virtual void removeAllItems() = 0;
    // Items with the same title stay separate items.
    virtual void addItemWithTitle(const std::string& title) = 0;
    virtual void setRepresentedObjectOfLastItem(std::any value) = 0;
    virtual void setToolTipOfLastItem(const std::string& toolTip) = 0;
    // The value of the selected item; empty when nothing is selected or it carries none.
    virtual std::any selectedRepresentedObject() const = 0;
    virtual int numberOfItems() const = 0;
    virtual std::optional<std::string> titleOfSelectedItem() const = 0;
};

class PathControl : public Control {
public:
    // A "file://" URL, or empty.
    virtual std::string url() const = 0;
    virtual void setURL(const std::string& fileURL) = 0;
};

class ImageView : public Control {
public:
    virtual std::string toolTip() const = 0;
    virtual void setToolTip(const std::string& toolTip) = 0;
};

// The wizard's outlets, connected when the window is loaded; every one is required.
struct WizardOutlets {
    TextField* mainHeaderField = nullptr;
    TabView* setupStepTabView = nullptr;
    Button* mainPreviousButton = nullptr;
    Button* mainNextButton = nullptr;
    ProgressIndicator* loadingSpinner = nullptr;
    ProgressIndicator* stepProgressIndicator = nullptr;
    TabView* initialFreshInstallOrReconfigureTabView = nullptr;
    TextField* initialLoginErrorTextField = nullptr;
    // Shown while the sign-in poll waits: what it waits for and for how long, and a hint with
    // the buttons that open the sign-in page again or copy its address.
    Control* initialSignInWaitingBox = nullptr;
    TextField* initialSignInWaitingTextField = nullptr;
    TextField* initialSignInHintTextField = nullptr;
    Button* newQorRadioButton = nullptr;
    TextField* newQorNameTextField = nullptr;
    TextField* newQorPathTextField = nullptr;
    TextField* newQorNameErrorLabel = nullptr;
    TextField* newQorPathErrorLabel = nullptr;
    PopUpButton* existingQorSelector = nullptr;
    TextField* existingQorWarningTextField = nullptr;
    ImageView* existingQorPathWarning = nullptr;
    TextField* finishQorNameLabel = nullptr;
    PathControl* finishQorPathWidget = nullptr;
    ImageView* finishQorPathWarning = nullptr;
};

// Receives the window's actions (by selector, e.g. "mainNextButtonClick:") and its events.
class WizardContent : public Responder {
public:
    virtual void viewWillAppear() = 0;
    virtual void windowWillClose() = 0;
};

struct FolderChooserOptions {
    bool allowsMultipleSelection = false;
    bool canChooseDirectories = true;
    bool canChooseFiles = false;
    bool canCreateDirectories = true;
    std::string prompt = "Select";
    // The folder it opens at; empty: the person's home folder.
    std::string directory;
};

struct FolderChoice {
    bool confirmed = false;
    // The chosen folder as a "file://" URL; absent when the chooser gave none.
    std::optional<std::string> url;
};

class WizardWindow {
public:
    WizardWindow() = default;
    WizardWindow(const WizardWindow&) = delete;
    WizardWindow& operator=(const WizardWindow&) = delete;
    virtual ~WizardWindow() = default;
    virtual const WizardOutlets& outlets() const = 0;
    // The window keeps its content for as long as it lives, as a window keeps its view
    // controller.
    virtual void setContent(std::shared_ptr<WizardContent> content) = 0;
    virtual bool isVisible() const = 0;
    // Shows the window (the content hears viewWillAppear first) and makes it the key window.
    virtual void makeKeyAndOrderFront() = 0;
    // Closes it as its close button would: the content hears windowWillClose.
    virtual void performClose() = 0;
    // Modal; returns when the person has chosen or cancelled.
    virtual FolderChoice runFolderChooser(const FolderChooserOptions& options) = 0;
};

// The computer's name as people see it; absent when it has none.
class ComputerName {
public:
    ComputerName() = default;
    ComputerName(const ComputerName&) = delete;
    ComputerName& operator=(const ComputerName&) = delete;
    virtual ~ComputerName() = default;
    virtual std::optional<std::string> localizedName() const = 0;
};

}  // namespace platform
