#include "cloud_api/orvane_requests.h"
#include "platform/log.h"
#include "platform/translation.h"
#include "platform/ui_tools.h"
#include "service/qor_tools.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

//: %1 is the application's id in orvane.
constexpr const char* kNoTokenText =
    QT_TRANSLATE_NOOP("SetupWizard", "Failed to create a new token for app %1 in orvane");

std::string configurationError() {
    return platform::translate("SetupWizard", "Configuration error");
}

std::string configValue(const std::string& key) {
    return QorTools::getConfigValue(key, QorTools::configFileURL()).value_or("");
}

}  // namespace

void SetupWizardViewController::finishQorSetup() {
    platform::assertMainThread(dispatch_);
    if (finishing_) {
        platform::log("finishQorSetup(), already finishing; ignored");
        return;
    }
    setFinishing(true);
    const FinishChain chain{opening(), orvaneCredentials_, orvaneUser_ ? orvaneUser_->id : "",
                            chosenStorageName_.value_or(""), chosenStorageId_.value_or("")};
    const std::string appId = configValue("app-id");
    platform::log("finishQorSetup(), appIdFromConfig: \"" + appId + "\"");
    if (appId.empty()) {
        createNewAppAndToken(chain);
        return;
    }
    OrvaneRequests::getApplication(
        appId, chain.credentials,
        [chain, appId](std::optional<OrvaneApplication> application, const std::string& message) {
            onMainIfOpen(chain.opening, "configAppReceived",
                         [chain, appId, application = std::move(application),
                          message](SetupWizardViewController& self) {
                             self.configAppReceived(chain, application, message, appId);
                         });
        });
}

void SetupWizardViewController::setFinishing(bool finishing) {
    platform::assertMainThread(dispatch_);
    finishing_ = finishing;
    ui_.mainNextButton->setEnabled(!finishing);
    ui_.mainPreviousButton->setEnabled(!finishing);
    if (finishing) {
        showSpinner();
    } else {
        hideSpinner();
    }
}

void SetupWizardViewController::configAppReceived(
    const FinishChain& chain, const std::optional<OrvaneApplication>& application,
    const std::string& errorMessage, const std::string& appId) {
    platform::assertMainThread(dispatch_);
    platform::log("finishQorSetup, got orvaneApplication: " + describe(application) +
                  ", errorMessage: " + errorMessage);
    if (!application || application->default_user_id != chain.userId) {
        platform::log("finishQorSetup, app-id from config.ini is not another user than " +
                      chain.userId);
        createNewAppAndToken(chain);
        return;
    }
    const std::string token = configValue("auth-token");
    if (token.empty()) {
        platform::log("finishQorSetup(), no auth-token in config.ini");
        createNewToken(chain, appId);
        return;
    }
    // The token is tested as itself, not with the wizard's sign-in.
    OrvaneRequests::getStorages(
        OrvaneCredentials{appId, token},
        [chain, appId, token](std::optional<std::vector<OrvaneStorage>> storages,
                              const std::string& message) {
            onMainIfOpen(chain.opening, "configTokenChecked",
                         [chain, appId, token, storages = std::move(storages),
                          message](SetupWizardViewController& self) {
                             self.configTokenChecked(chain, storages, message, appId, token);
                         });
        });
}

void SetupWizardViewController::configTokenChecked(
    const FinishChain& chain, const std::optional<std::vector<OrvaneStorage>>& storages,
    const std::string& errorMessage, const std::string& appId, const std::string& token) {
    platform::assertMainThread(dispatch_);
    if (storages) {
        platform::log("finishQorSetup(), valid auth-token found in config.ini");
        writeNewConfigStartService(chain, appId, token);
        return;
    }
    platform::log(
        "finishQorSetup(), invalid auth-token in config.ini, will create a new one. Error: " +
        errorMessage);
    createNewToken(chain, appId);
}

void SetupWizardViewController::createNewAppAndToken(const FinishChain& chain) {
    platform::log("Creating new app and token in orvane");
    OrvaneRequests::createApplication(
        chain.storageName, chain.userId, chain.credentials,
        [chain](std::optional<OrvaneApplication> application, const std::string& message) {
            onMainIfOpen(chain.opening, "newAppReceived",
                         [chain, application = std::move(application),
                          message](SetupWizardViewController& self) {
                             self.newAppReceived(chain, application, message);
                         });
        });
}

void SetupWizardViewController::newAppReceived(const FinishChain& chain,
                                               const std::optional<OrvaneApplication>& application,
                                               const std::string& errorMessage) {
    platform::assertMainThread(dispatch_);
    if (!application) {
        failFinish(configurationError(),
                   platform::translate("SetupWizard", "Failed to create a new app in orvane") +
                       "\n\n" + OrvaneRequests::shownMessage(errorMessage));
        return;
    }
    createNewToken(chain, application->id);
}

void SetupWizardViewController::createNewToken(const FinishChain& chain, const std::string& appId) {
    platform::log("Creating a new token in orvane for app " + appId);
    OrvaneRequests::createToken(
        appId, chain.credentials,
        [chain, appId](std::optional<OrvaneCredentials> credentials, const std::string& message) {
            onMainIfOpen(chain.opening, "newTokenReceived",
                         [chain, appId, credentials = std::move(credentials),
                          message](SetupWizardViewController& self) {
                             self.newTokenReceived(chain, credentials, message, appId);
                         });
        });
}

void SetupWizardViewController::newTokenReceived(
    const FinishChain& chain, const std::optional<OrvaneCredentials>& credentials,
    const std::string& errorMessage, const std::string& appId) {
    platform::assertMainThread(dispatch_);
    if (!credentials) {
        failFinish(
            configurationError(),
            platform::fillPlaceholders(platform::translate("SetupWizard", kNoTokenText), {appId}) +
                "\n\n" + OrvaneRequests::shownMessage(errorMessage));
        return;
    }
    // The id asked for is written, whatever the reply echoes.
    writeNewConfigStartService(chain, appId, credentials->token);
}

void SetupWizardViewController::writeNewConfigStartService(const FinishChain& chain,
                                                           const std::string& appId,
                                                           const std::string& token) {
    platform::assertMainThread(dispatch_);
    platform::log("writeNewConfigStartService, app-id: " + appId);
    platform::log("Make config backup");
    if (!QorTools::backupConfigFile()) {
        failFinish(configurationError(),
                   platform::translate("SetupWizard",
                                       "Failed to write backup of current orvane Storage Gateway "
                                       "configuration. Will not proceed."));
        return;
    }
    platform::log("Write new config.ini");
    if (!QorTools::writeNewConfig(appId, chain.storageId, std::nullopt, token)) {
        failFinish(platform::translate("SetupWizard", "Failed to write new configuration"),
                   platform::translate("SetupWizard",
                                       "Failed to write new orvane Storage Gateway "
                                       "configuration. Will not proceed."));
        return;
    }
    // Kept only when config.ini names it; a storage made and then passed over is deleted by the
    // close below.
    if (createdOrvaneStorageId_ == chain.storageId) {
        createdOrvaneStorageId_.reset();
        createdOrvaneStorageCredentials_.reset();
    }
    setFinishing(false);
    platform::log("writeNewConfigStartService, config.ini updated, close window and (re)start QOR");
    window_.performClose();
    auto* restarter = dynamic_cast<platform::GatewayRestarter*>(application_.delegate());
    if (!restarter) {
        platform::log("writeNewConfigStartService, ERROR, failed to restart QOR with app delegate");
        return;
    }
    restarter->restartGatewayWhenHelperIsReady();
}

void SetupWizardViewController::failFinish(std::string title, std::string message) {
    platform::assertMainThread(dispatch_);
    UiTools::enqueueAlert(std::move(title), std::move(message));
    setFinishing(false);
}

void SetupWizardViewController::advancedStorageSettingsAction() {
    platform::assertMainThread(dispatch_);
    platform::log("Finish screen: Advaced Settings");
    if (!OrvaneRequests::openStorageSettings(chosenStorageId_.value_or(""))) {
        UiTools::enqueueAlert(
            platform::translate("SetupWizard", "Failed to open Configuration"),
            platform::translate("SetupWizard", "Could not get orvane URL from config.ini"));
    }
}
