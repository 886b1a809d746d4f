#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cloud_api/orvane_records.h"
#include "cloud_api/orvane_request_cancellation.h"
#include "platform/application.h"
#include "platform/dispatch.h"
#include "platform/wizard_controls.h"
#include "wizard/setup_step.h"

// What an item of the existing-storage pop-up carries.
struct ExistingStorageEntry {
    std::string id;
    std::string name;
    // Empty when the storage has none.
    std::string mountPoint;
};
std::string describe(const ExistingStorageEntry& entry);

// The setup wizard: signs the person in, has them create or pick a storage, and writes the
// gateway's configuration. The current step is never stored: it is the selected step tab.
//
// Every field is main-thread only, and every method that touches one checks so
// (`platform::assertMainThread`). Replies arrive on the URL session's queue and the sign-in
// poll's on the global queue; they log there and hop to the main queue before touching
// anything else. The window owns this controller; callbacks hold it weakly.
class SetupWizardViewController : public platform::WizardContent,
                                  public OrvaneRequestCancellation,
                                  public std::enable_shared_from_this<SetupWizardViewController> {
public:
    SetupWizardViewController(platform::WizardWindow& window,
                              platform::SharedApplication& application,
                              const platform::ComputerName& computerName,
                              platform::Dispatch& dispatch);

    // The window's actions, by selector.
    bool perform(const platform::Selector& selector) override;
    void viewWillAppear() override;
    void windowWillClose() override;
    // True once the application is no longer a regular one, that is once the wizard closed.
    // Any thread.
    bool isCancelled() const override;

    void mainNextButtonClick();
    void mainPreviousButtonClick();
    void mainCancelButtonClick();
    void newExistingQorClick() {}
    void newQorChoosePathClicked();
    void existingQorListAction();
    void advancedStorageSettingsAction();

    SetupStep getCurrentSetupStep();
    void selectNewSetupStep(SetupStep step);
    void updateInitialSetupStep();

    // Signing in.
    void initiateOrvaneLogin(bool forceLogin);

    // A new storage, or an existing one.
    void enterNewQorForm();
    void checkNewQorForm();
    void updateExistingQorList();
    void leaveExistingQorStep();

    // Finishing: the credential, config.ini and the restart.
    void finishQorSetup();

    bool nextIsForceLogin() const {
        platform::assertMainThread(dispatch_);
        return nextIsForceLogin_;
    }
    const std::optional<OrvaneCredentials>& orvaneCredentials() const {
        platform::assertMainThread(dispatch_);
        return orvaneCredentials_;
    }
    const std::optional<OrvaneUser>& orvaneUser() const {
        platform::assertMainThread(dispatch_);
        return orvaneUser_;
    }
    const std::optional<std::string>& chosenStorageName() const {
        platform::assertMainThread(dispatch_);
        return chosenStorageName_;
    }
    const std::optional<std::string>& chosenStorageId() const {
        platform::assertMainThread(dispatch_);
        return chosenStorageId_;
    }
    const std::optional<std::string>& createdOrvaneStorageId() const {
        platform::assertMainThread(dispatch_);
        return createdOrvaneStorageId_;
    }

    // Remembers a storage this wizard created, with the credentials it was created under, so
    // that a close deletes it as the person who made it even after a sign-in as somebody else.
    void rememberCreatedStorage(const std::string& storageId, const OrvaneCredentials& credentials);

private:
    class SignInCancellation;
    // Runs `task` on the main queue while the controller lives and `stillValid` holds there;
    // otherwise logs "<operation>, <since>; dropped". Replies of requests whose window or sign-in
    // has gone since must not move the wizard.
    static void onMainIfStill(const std::weak_ptr<SetupWizardViewController>& controller,
                              platform::Dispatch& dispatch, const char* operation,
                              const char* since,
                              std::function<bool(const SetupWizardViewController&)> stillValid,
                              std::function<void(SetupWizardViewController&)> task);
    // One sign-in: its generation and the controller it reports to.
    struct SignIn {
        std::weak_ptr<SetupWizardViewController> controller;
        std::uint64_t generation = 0;
        platform::Dispatch* dispatch = nullptr;
    };

    // The poll's completion, on a background queue.
    static void initiateOrvaneLoginFinished(const SignIn& signIn,
                                            std::optional<OrvaneCredentials> credentials);
    // The current-user reply, on the URL session's queue.
    static void checkCurrentUser(const SignIn& signIn, std::optional<OrvaneUser> user,
                                 const std::string& errorMessage, OrvaneCredentials credentials);
    // Runs `task` on the main queue if this sign-in is still the current one.
    static void onMainIfCurrent(const SignIn& signIn, const char* operation,
                                std::function<void(SetupWizardViewController&)> task);

    // One storage request or list request, and the window's closes when it began.
    struct StorageRequest {
        std::weak_ptr<SetupWizardViewController> controller;
        platform::Dispatch* dispatch = nullptr;
        std::uint64_t closes = 0;
        std::optional<std::string> createdStorageId;
        std::optional<OrvaneCredentials> credentials;
    };
    StorageRequest storageRequest();
    // Runs `task` on the main queue unless the wizard has closed since the request began.
    static void onMainIfOpen(const StorageRequest& request, const char* operation,
                             std::function<void(SetupWizardViewController&)> task);
    static void newQorStorageRequestFinished(const StorageRequest& request,
                                             std::optional<OrvaneStorage> storage,
                                             const std::string& errorMessage);
    static void localTranscodersSetupFinished(const StorageRequest& request, bool success,
                                              const OrvaneStorage& storage);
    static void newQorStorageCreatedOrUpdated(const StorageRequest& request,
                                              std::optional<OrvaneStorage> storage,
                                              const std::string& errorMessage);
    static void existingQorListReceived(const StorageRequest& request,
                                        std::optional<std::vector<OrvaneStorage>> storages,
                                        const std::string& errorMessage);

    // What one press of Finish works with, taken when it was pressed.
    struct FinishChain {
        std::weak_ptr<SetupWizardViewController> controller;
        platform::Dispatch* dispatch = nullptr;
        std::optional<OrvaneCredentials> credentials;
        std::string userId;
        std::string storageName;
        std::string storageId;
    };
    static void configAppReceived(const FinishChain& chain,
                                  std::optional<OrvaneApplication> application,
                                  const std::string& errorMessage, const std::string& appId);
    static void configTokenChecked(const FinishChain& chain,
                                   const std::optional<std::vector<OrvaneStorage>>& storages,
                                   const std::string& errorMessage, const std::string& appId,
                                   const std::string& token);
    static void createNewAppAndToken(const FinishChain& chain);
    static void newAppReceived(const FinishChain& chain,
                               std::optional<OrvaneApplication> application,
                               const std::string& errorMessage);
    static void createNewToken(const FinishChain& chain, const std::string& appId);
    static void newTokenReceived(const FinishChain& chain,
                                 std::optional<OrvaneCredentials> credentials,
                                 const std::string& errorMessage, const std::string& appId);
    static void writeNewConfigStartService(const FinishChain& chain, const std::string& appId,
                                           const std::string& token);
    // A chain that ends in an alert gives Finish back.
    static void failFinish(const FinishChain& chain, std::string title, std::string message);

    void deleteAbandonedStorage(const std::string& storageId,
                                const std::optional<OrvaneCredentials>& credentials);
    void showLoginError(const std::string& text);
    void showSpinner();
    void hideSpinner();
    void endSignIn();

    platform::WizardWindow& window_;
    const platform::WizardOutlets& ui_;
    platform::SharedApplication& application_;
    const platform::ComputerName& computerName_;
    platform::Dispatch& dispatch_;

    // Bumped by every sign-in and every close, read by polls on other threads.
    std::shared_ptr<std::atomic<std::uint64_t>> signInGeneration_;

    bool nextIsForceLogin_ = false;
    std::optional<OrvaneCredentials> orvaneCredentials_;
    std::optional<OrvaneUser> orvaneUser_;
    std::optional<std::string> chosenStorageName_;
    std::optional<std::string> chosenStorageId_;
    std::optional<std::string> createdOrvaneStorageId_;
    std::optional<OrvaneCredentials> createdOrvaneStorageCredentials_;
    // How often the window has closed; a reply for an earlier opening changes nothing.
    std::uint64_t closes_ = 0;
    // One storage request and one Finish chain at a time.
    bool storageRequestRunning_ = false;
    bool finishing_ = false;
};
