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
// poll's on the global queue; they log there and come in through `onMainIfOpen` before touching
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
    // While the sign-in poll waits: for a person whose browser did not open the page, or opened
    // it where they cannot reach it.
    void openSignInPageAgainClick();
    void copySignInAddressClick();

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

    // One opening of the window, from its appearance to its close, as every request sent in it
    // remembers it.
    struct Opening {
        std::weak_ptr<SetupWizardViewController> controller;
        platform::Dispatch* dispatch = nullptr;
        std::uint64_t number = 0;
    };
    Opening opening();
    // The one door for replies: runs `task` on the main queue while the controller lives and the
    // opening the request was sent in lasts. A reply of an earlier opening logs
    // "<operation>, the wizard closed since; dropped" and runs only `dropped`, which undoes what
    // it brought; a closed window never moves a later one.
    static void onMainIfOpen(const Opening& opening, const char* operation,
                             std::function<void(SetupWizardViewController&)> task,
                             std::function<void(SetupWizardViewController&)> dropped = {});

    // Signing in: the poll's completion (a background queue) and the current user's reply.
    static void initiateOrvaneLoginFinished(const Opening& opening,
                                            std::optional<OrvaneCredentials> credentials);
    static void checkCurrentUser(const Opening& opening, std::optional<OrvaneUser> user,
                                 const std::string& errorMessage, OrvaneCredentials credentials);

    // A storage request or list request, with what it was sent with.
    struct StorageRequest {
        Opening opening;
        std::optional<std::string> createdStorageId;
        std::optional<OrvaneCredentials> credentials;
    };
    StorageRequest storageRequest();
    static void newQorStorageRequestFinished(const StorageRequest& request,
                                             std::optional<OrvaneStorage> storage,
                                             const std::string& errorMessage);
    void setupTranscoders(const StorageRequest& request, const OrvaneStorage& storage);
    void newQorStorageCreatedOrUpdated(const StorageRequest& request,
                                       const std::optional<OrvaneStorage>& storage,
                                       const std::string& errorMessage);
    static void existingQorListReceived(const StorageRequest& request,
                                        std::optional<std::vector<OrvaneStorage>> storages,
                                        const std::string& errorMessage);

    // What one press of Finish works with, taken when it was pressed. Each step runs on the main
    // queue, let in by `onMainIfOpen`, so config.ini is written only while the window that asked
    // for it is open.
    struct FinishChain {
        Opening opening;
        std::optional<OrvaneCredentials> credentials;
        std::string userId;
        std::string storageName;
        std::string storageId;
    };
    void configAppReceived(const FinishChain& chain,
                           const std::optional<OrvaneApplication>& application,
                           const std::string& errorMessage, const std::string& appId);
    void configTokenChecked(const FinishChain& chain,
                            const std::optional<std::vector<OrvaneStorage>>& storages,
                            const std::string& errorMessage, const std::string& appId,
                            const std::string& token);
    static void createNewAppAndToken(const FinishChain& chain);
    void newAppReceived(const FinishChain& chain,
                        const std::optional<OrvaneApplication>& application,
                        const std::string& errorMessage);
    static void createNewToken(const FinishChain& chain, const std::string& appId);
    void newTokenReceived(const FinishChain& chain,
                          const std::optional<OrvaneCredentials>& credentials,
                          const std::string& errorMessage, const std::string& appId);
    void writeNewConfigStartService(const FinishChain& chain, const std::string& appId,
                                    const std::string& token);
    // While a chain runs the spinner turns and Back and Finish wait for it.
    void setFinishing(bool finishing);
    // A chain that ends in an alert gives Back and Finish back.
    void failFinish(std::string title, std::string message);

    void deleteAbandonedStorage(const std::string& storageId,
                                const std::optional<OrvaneCredentials>& credentials);
    void showLoginError(const std::string& text);
    void showSignInTimeLeft(double secondsLeft);
    void hideSignInWaiting();
    void showSpinner();
    void hideSpinner();

    platform::WizardWindow& window_;
    const platform::WizardOutlets& ui_;
    platform::SharedApplication& application_;
    const platform::ComputerName& computerName_;
    platform::Dispatch& dispatch_;

    // The number of the current opening: bumped by every close, read by sign-in polls on the
    // global queue.
    std::shared_ptr<std::atomic<std::uint64_t>> opening_;

    bool nextIsForceLogin_ = false;
    // The sign-in page of the poll that waits now; it carries the sign-in code, so it is never
    // logged.
    std::optional<std::string> signInPageURL_;
    std::optional<OrvaneCredentials> orvaneCredentials_;
    std::optional<OrvaneUser> orvaneUser_;
    std::optional<std::string> chosenStorageName_;
    std::optional<std::string> chosenStorageId_;
    std::optional<std::string> createdOrvaneStorageId_;
    std::optional<OrvaneCredentials> createdOrvaneStorageCredentials_;
    // One storage request and one Finish chain at a time, within one opening.
    bool storageRequestRunning_ = false;
    bool finishing_ = false;
};
