#include "platform/testing/memory_wizard_window.h"

namespace platform::testing {

void MemoryTabView::selectTabWithIdentifier(const std::string& identifier) {
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        if (!identifier.empty() && tabs[i].first == identifier) selected = i;
    }
}

std::optional<std::string> MemoryTabView::selectedIdentifier() const {
    if (!selected || tabs[*selected].first.empty()) return std::nullopt;
    return tabs[*selected].first;
}

std::optional<std::string> MemoryTabView::selectedLabel() const {
    if (!selected) return std::nullopt;
    return tabs[*selected].second;
}

void MemoryPopUpButton::removeAllItems() {
    items.clear();
    selected.reset();
}

void MemoryPopUpButton::addItemWithTitle(const std::string& title) {
    items.emplace_back(title, std::any{});
    if (!selected) selected = 0;
}

void MemoryPopUpButton::setRepresentedObjectOfLastItem(std::any value) {
    if (!items.empty()) items.back().second = std::move(value);
}

std::any MemoryPopUpButton::selectedRepresentedObject() const {
    if (!selected) return {};
    return items[*selected].second;
}

std::optional<std::string> MemoryPopUpButton::titleOfSelectedItem() const {
    if (!selected) return std::nullopt;
    return items[*selected].first;
}

MemoryWizardWindow::MemoryWizardWindow()
    : setupStepTabView({{"initial", "Sign in"},
                        {"newOrExisting", "Choose a storage"},
                        {"newQorSetup", "New storage"},
                        {"chooseExistingQor", "Existing storage"},
                        {"finish", "Finish"}}),
      initialFreshInstallOrReconfigureTabView(
          {{"freshInstall", "Welcome"}, {"reconfigure", "Reconfigure"}}) {
    setupStepTabView.selected = 0;
    initialFreshInstallOrReconfigureTabView.selected = 0;
    newQorRadioButton.controlState = ControlState::On;
    outlets_ = WizardOutlets{&mainHeaderField,
                             &setupStepTabView,
                             &mainPreviousButton,
                             &mainNextButton,
                             &loadingSpinner,
                             &stepProgressIndicator,
                             &initialFreshInstallOrReconfigureTabView,
                             &initialLoginErrorTextField,
                             &newQorRadioButton,
                             &newQorNameTextField,
                             &newQorPathTextField,
                             &newQorNameErrorLabel,
                             &newQorPathErrorLabel,
                             &existingQorSelector,
                             &existingQorWarningTextField,
                             &existingQorPathWarning,
                             &finishQorNameLabel,
                             &finishQorPathWidget,
                             &finishQorPathWarning};
}

void MemoryWizardWindow::makeKeyAndOrderFront() {
    if (!visible && content_) content_->viewWillAppear();
    visible = true;
}

void MemoryWizardWindow::performClose() {
    if (!visible) return;
    ++closes;
    if (content_) content_->windowWillClose();
    visible = false;
}

FolderChoice MemoryWizardWindow::runFolderChooser(const FolderChooserOptions& options) {
    folderChooserRuns.push_back(options);
    if (folderChoices.empty()) return {};
    FolderChoice choice = folderChoices.front();
    folderChoices.pop_front();
    return choice;
}

}  // namespace platform::testing
