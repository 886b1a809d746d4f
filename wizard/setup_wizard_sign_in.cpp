#include "cloud_api/orvane_requests.h"
#include "platform/log.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

constexpr char kNoConfigText[] =
    "Could not start login, failed to parse orvane Storage Gateway config.ini";
constexpr char kNoCredentialsText[] =
    "Authentication failed, did not receive orvane credentials. Click Next to try to log in as "
    "another user.";
constexpr char kNotPowerUserText[] =
    "You need to be a power user to set up an orvane Storage Gateway. Click Next to log in as "
    "another user.";

const char* flag(bool value) { return value ? "true" : "false"; }

}  // namespace

// A poll stops at its next attempt once the opening it began in has closed.
class SetupWizardViewController::SignInCancellation : public OrvaneRequestCancellation {
public:
    SignInCancellation(const SetupWizardViewController& controller, std::uint64_t opening)
        : application_(controller.application_), current_(controller.opening_), opening_(opening) {}
    bool isCancelled() const override {
        return application_.activationPolicy() != platform::ActivationPolicy::Regular ||
               current_->load() != opening_;
    }

private:
    platform::SharedApplication& application_;
    std::shared_ptr<const std::atomic<std::uint64_t>> current_;
    std::uint64_t opening_;
};

void SetupWizardViewController::initiateOrvaneLogin(bool forceLogin) {
    platform::assertMainThread(dispatch_);
    platform::log(std::string("Initiate orvane login, forceLogin: ") + flag(forceLogin));
    ui_.mainNextButton->setEnabled(false);
    showSpinner();
    auto pollURL = OrvaneRequests::startLogin(forceLogin);
    if (!pollURL) {
        showLoginError(kNoConfigText);
        ui_.mainNextButton->setEnabled(true);
        hideSpinner();
        return;
    }
    const Opening sentIn = opening();
    OrvaneRequests::getOrvaneCredentialsOrRetry(
        *pollURL, 0, std::make_shared<SignInCancellation>(*this, sentIn.number),
        [sentIn](std::optional<OrvaneCredentials> credentials) {
            initiateOrvaneLoginFinished(sentIn, std::move(credentials));
        });
}

void SetupWizardViewController::initiateOrvaneLoginFinished(
    const Opening& sentIn, std::optional<OrvaneCredentials> credentials) {
    platform::log(std::string("Initiate orvane finished, got credentials: ") +
                  flag(credentials.has_value()));
    onMainIfOpen(sentIn, "initiateOrvaneLoginFinished",
                 [sentIn, credentials = std::move(credentials)](SetupWizardViewController& self) {
                     self.application_.activateIgnoringOtherApps();
                     self.hideSpinner();
                     if (!credentials) {
                         self.ui_.mainNextButton->setEnabled(true);
                         self.showLoginError(kNoCredentialsText);
                         self.nextIsForceLogin_ = true;
                         return;
                     }
                     OrvaneRequests::getCurrentUser(
                         credentials,
                         [sentIn, credentials = *credentials](std::optional<OrvaneUser> user,
                                                              const std::string& message) {
                             checkCurrentUser(sentIn, std::move(user), message, credentials);
                         });
                 });
}

void SetupWizardViewController::checkCurrentUser(const Opening& sentIn,
                                                 std::optional<OrvaneUser> user,
                                                 const std::string& /*errorMessage*/,
                                                 OrvaneCredentials credentials) {
    if (user && user->type == OrvaneUserType::POWER) {
        platform::log("orvane login finished, got a valid POWER user: " + describe(*user));
        onMainIfOpen(sentIn, "checkCurrentUser",
                     [user = std::move(user),
                      credentials = std::move(credentials)](SetupWizardViewController& self) {
                         self.orvaneCredentials_ = credentials;
                         self.orvaneUser_ = user;
                         self.selectNewSetupStep(SetupStep::newOrExisting);
                     });
        return;
    }
    platform::log("orvane login finished, invalid user type: " + describe(user));
    onMainIfOpen(sentIn, "checkCurrentUser", [](SetupWizardViewController& self) {
        self.nextIsForceLogin_ = true;
        self.ui_.mainNextButton->setEnabled(true);
        self.showLoginError(kNotPowerUserText);
    });
}

void SetupWizardViewController::showLoginError(const std::string& text) {
    platform::assertMainThread(dispatch_);
    ui_.initialLoginErrorTextField->setStringValue(text);
    ui_.initialLoginErrorTextField->setHidden(false);
}
