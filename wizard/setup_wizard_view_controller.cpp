#include "wizard/setup_wizard_view_controller.h"

#include <functional>
#include <map>

#include "cloud_api/orvane_requests.h"
#include "platform/log.h"
#include "platform/translation.h"
#include "service/qor_tools.h"

namespace {

double progressValue(SetupStep step) {
    switch (step) {
        case SetupStep::initial: return 0;
        case SetupStep::newOrExisting: return 1;
        case SetupStep::newQorSetup:
        case SetupStep::chooseExistingQor: return 2;
        case SetupStep::finish: return 3;
        case SetupStep::invalid: break;
    }
    return 0;
}

}  // namespace

SetupWizardViewController::SetupWizardViewController(platform::WizardWindow& window,
                                                     platform::SharedApplication& application,
                                                     const platform::ComputerName& computerName,
                                                     platform::Dispatch& dispatch)
    : window_(window),
      ui_(window.outlets()),
      application_(application),
      computerName_(computerName),
      dispatch_(dispatch),
      opening_(std::make_shared<std::atomic<std::uint64_t>>(0)) {}

bool SetupWizardViewController::perform(const platform::Selector& selector) {
    static const std::map<platform::Selector, void (SetupWizardViewController::*)()> actions{
        {"mainNextButtonClick:", &SetupWizardViewController::mainNextButtonClick},
        {"mainPreviousButtonClick:", &SetupWizardViewController::mainPreviousButtonClick},
        {"mainCancelButtonClick:", &SetupWizardViewController::mainCancelButtonClick},
        {"newExistingQorClick:", &SetupWizardViewController::newExistingQorClick},
        {"newQorChoosePathClicked:", &SetupWizardViewController::newQorChoosePathClicked},
        {"existingQorListAction:", &SetupWizardViewController::existingQorListAction},
        {"advancedStorageSettingsAction:",
         &SetupWizardViewController::advancedStorageSettingsAction},
        {"openSignInPageAgainClick:", &SetupWizardViewController::openSignInPageAgainClick},
        {"copySignInAddressClick:", &SetupWizardViewController::copySignInAddressClick},
    };
    auto found = actions.find(selector);
    if (found == actions.end()) return false;
    (this->*found->second)();
    return true;
}

bool SetupWizardViewController::isCancelled() const {
    return application_.activationPolicy() != platform::ActivationPolicy::Regular;
}

// ---- Steps ----

SetupStep SetupWizardViewController::getCurrentSetupStep() {
    platform::assertMainThread(dispatch_);
    auto identifier = ui_.setupStepTabView->selectedIdentifier();
    if (!identifier) {
        platform::log("getCurrentSetupStep: Invalid setup step - nil");
        return SetupStep::invalid;
    }
    auto step = setupStepFromRawValue(*identifier);
    if (!step) {
        platform::log("getCurrentSetupStep: Invalid setup step: " + *identifier);
        return SetupStep::invalid;
    }
    platform::log("getCurrentSetupStep: " + std::string(rawValue(*step)));
    return *step;
}

void SetupWizardViewController::selectNewSetupStep(SetupStep step) {
    platform::assertMainThread(dispatch_);
    if (step == SetupStep::invalid) {
        platform::log("selectNewSetupStep: Invalid setup step: " + std::string(rawValue(step)));
        return;
    }
    ui_.setupStepTabView->selectTabWithIdentifier(std::string(rawValue(step)));
    if (auto label = ui_.setupStepTabView->selectedLabel())
        ui_.mainHeaderField->setStringValue(*label);
    ui_.mainNextButton->setEnabled(true);
    ui_.mainNextButton->setTitle(platform::translate("SetupWizard", "Next"));
    ui_.mainPreviousButton->setEnabled(true);
    switch (step) {
        case SetupStep::initial:
            ui_.mainPreviousButton->setEnabled(false);
            updateInitialSetupStep();
            ui_.mainHeaderField->setStringValue(
                ui_.initialFreshInstallOrReconfigureTabView->selectedLabel().value_or(""));
            break;
        case SetupStep::finish:
            ui_.mainNextButton->setTitle(platform::translate("SetupWizard", "Finish"));
            break;
        default: break;
    }
    ui_.stepProgressIndicator->setDoubleValue(progressValue(step));
}

void SetupWizardViewController::updateInitialSetupStep() {
    platform::assertMainThread(dispatch_);
    if (QorTools::isConfigured()) {
        platform::log("updateInitialSetupStep, reconfigure UI chosen");
        ui_.initialFreshInstallOrReconfigureTabView->selectTabWithIdentifier("reconfigure");
    } else {
        platform::log("updateInitialSetupStep, fresh install UI chosen");
        ui_.initialFreshInstallOrReconfigureTabView->selectTabWithIdentifier("freshInstall");
    }
    ui_.initialLoginErrorTextField->setHidden(true);
    hideSignInWaiting();
    nextIsForceLogin_ = false;
}

// ---- Buttons ----

void SetupWizardViewController::mainNextButtonClick() {
    platform::assertMainThread(dispatch_);
    switch (getCurrentSetupStep()) {
        case SetupStep::initial: initiateOrvaneLogin(nextIsForceLogin_); break;
        case SetupStep::newOrExisting:
            if (ui_.newQorRadioButton->state() == platform::ControlState::On) {
                enterNewQorForm();
            } else {
                updateExistingQorList();
            }
            break;
        case SetupStep::newQorSetup: checkNewQorForm(); break;
        case SetupStep::chooseExistingQor: leaveExistingQorStep(); break;
        case SetupStep::finish: finishQorSetup(); break;
        case SetupStep::invalid:
            platform::log("mainNextButtonClick - invalid state - nothing to do");
            break;
    }
}

void SetupWizardViewController::mainPreviousButtonClick() {
    platform::assertMainThread(dispatch_);
    switch (getCurrentSetupStep()) {
        case SetupStep::initial:
            platform::log("mainPreviousButtonClick - already at first step - nothing to do");
            break;
        case SetupStep::newOrExisting: selectNewSetupStep(SetupStep::initial); break;
        case SetupStep::newQorSetup:
        case SetupStep::chooseExistingQor: selectNewSetupStep(SetupStep::newOrExisting); break;
        case SetupStep::finish:
            if (ui_.newQorRadioButton->state() == platform::ControlState::On) {
                ui_.newQorNameErrorLabel->setStringValue("");
                selectNewSetupStep(SetupStep::newQorSetup);
            } else {
                selectNewSetupStep(SetupStep::chooseExistingQor);
            }
            break;
        case SetupStep::invalid: break;
    }
}

void SetupWizardViewController::mainCancelButtonClick() {
    platform::assertMainThread(dispatch_);
    platform::log("mainCancelButtonClick - close the window");
    window_.performClose();
}

// ---- Window events ----

void SetupWizardViewController::viewWillAppear() {
    platform::assertMainThread(dispatch_);
    platform::log("SetupWizardViewController viewWillAppear, appInstanceId: " +
                  OrvaneRequests::appInstanceId());
    application_.setActivationPolicy(platform::ActivationPolicy::Regular);
    if (getCurrentSetupStep() == SetupStep::initial) selectNewSetupStep(SetupStep::initial);
}

void SetupWizardViewController::windowWillClose() {
    platform::assertMainThread(dispatch_);
    platform::log("SetupWizardViewController windowWillClose, current step: " +
                  std::string(rawValue(getCurrentSetupStep())));
    // No config.ini names a storage this opening created: a Finish under way writes nothing now.
    if (createdOrvaneStorageId_) {
        deleteAbandonedStorage(*createdOrvaneStorageId_, createdOrvaneStorageCredentials_);
        createdOrvaneStorageId_.reset();
        createdOrvaneStorageCredentials_.reset();
    }
    // Ends this opening: its sign-in poll stops and its replies are dropped.
    ++*opening_;
    storageRequestRunning_ = false;
    finishing_ = false;
    application_.setActivationPolicy(platform::ActivationPolicy::Accessory);
    ui_.newQorRadioButton->setState(platform::ControlState::On);
    ui_.newQorPathTextField->setStringValue("");
    hideSpinner();
    selectNewSetupStep(SetupStep::initial);
}

void SetupWizardViewController::deleteAbandonedStorage(
    const std::string& storageId, const std::optional<OrvaneCredentials>& credentials) {
    platform::log("Will delete temporarily created storage " + storageId);
    OrvaneRequests::deleteStorage(storageId, credentials, [storageId](bool success) {
        if (!success) platform::log("Closing wizard, failed to delete " + storageId);
    });
}

void SetupWizardViewController::rememberCreatedStorage(const std::string& storageId,
                                                       const OrvaneCredentials& credentials) {
    platform::assertMainThread(dispatch_);
    createdOrvaneStorageId_ = storageId;
    createdOrvaneStorageCredentials_ = credentials;
}

SetupWizardViewController::Opening SetupWizardViewController::opening() {
    platform::assertMainThread(dispatch_);
    return {weak_from_this(), &dispatch_, opening_->load()};
}

void SetupWizardViewController::onMainIfOpen(
    const Opening& opening, const char* operation,
    std::function<void(SetupWizardViewController&)> task,
    std::function<void(SetupWizardViewController&)> dropped) {
    opening.dispatch->main().async(
        [opening, operation, task = std::move(task), dropped = std::move(dropped)] {
            auto self = opening.controller.lock();
            if (!self) return;
            if (self->opening_->load() != opening.number) {
                platform::log(std::string(operation) + ", the wizard closed since; dropped");
                if (dropped) dropped(*self);
                return;
            }
            task(*self);
        });
}

void SetupWizardViewController::showSpinner() {
    platform::assertMainThread(dispatch_);
    ui_.loadingSpinner->setHidden(false);
    ui_.loadingSpinner->startAnimation();
}

void SetupWizardViewController::hideSpinner() {
    platform::assertMainThread(dispatch_);
    ui_.loadingSpinner->setHidden(true);
}
