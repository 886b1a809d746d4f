#include "platform/testing/memory_wizard_window.h"

namespace platform::testing {

MemoryWizardWindow::MemoryWizardWindow()
    : setupStepTabView({{"initial", "Sign in"},
                        {"newOrExisting", "Choose a storage"},
                        {"newQorSetup", "New storage"},
                        {"chooseExistingQor", "Existing storage"},
                        {"finish", "Finish"}}),
      initialFreshInstallOrReconfigureTabView(
          {{"freshInstall", "Welcome"}, {"reconfigure", "Reconfigure"}}) {
    newQorRadioButton.controlState = ControlState::On;
    outlets_ = WizardOutlets{&mainHeaderField,
                             &setupStepTabView,
                             &mainPreviousButton,
                             &mainNextButton,
                             &loadingSpinner,
                             &stepProgressIndicator,
                             &initialFreshInstallOrReconfigureTabView,
                             &initialLoginErrorTextField,
                             &initialSignInWaitingBox,
                             &initialSignInWaitingTextField,
                             &initialSignInHintTextField,
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
    if (content_) content_->windowWillClose();
    visible = false;
}

}  // namespace platform::testing
