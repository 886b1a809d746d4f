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

// A poll stops at its next attempt once the wizard closed or a newer sign-in began.
class SetupWizardViewController::SignInCancellation : public OrvaneRequestCancellation {
public:
    SignInCancellation(const SetupWizardViewController& controller, std::uint64_t generation)
        : application_(controller.application_),
          current_(controller.signInGeneration_),
          generation_(generation) {}
    bool isCancelled() const override {
        return application_.activationPolicy() != platform::ActivationPolicy::Regular ||
               current_->load() != generation_;
    }

private:
    platform::SharedApplication& application_;
    std::shared_ptr<const std::atomic<std::uint64_t>> current_;
    std::uint64_t generation_;
};

void SetupWizardViewController::endSignIn() { ++*signInGeneration_; }

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
    const SignIn signIn{weak_from_this(), ++*signInGeneration_, &dispatch_};
    OrvaneRequests::getOrvaneCredentialsOrRetry(
        *pollURL, 0, std::make_shared<SignInCancellation>(*this, signIn.generation),
        [signIn](std::optional<OrvaneCredentials> credentials) {
            initiateOrvaneLoginFinished(signIn, std::move(credentials));
        });
}

void SetupWizardViewController::onMainIfCurrent(
    const SignIn& signIn, const char* operation,
    std::function<void(SetupWizardViewController&)> task) {
    onMainIfStill(
        signIn.controller, *signIn.dispatch, operation,
        "the wizard closed or signed in again since",
        [generation = signIn.generation](const SetupWizardViewController& self) {
            return self.signInGeneration_->load() == generation;
        },
        std::move(task));
}

void SetupWizardViewController::initiateOrvaneLoginFinished(
    const SignIn& signIn, std::optional<OrvaneCredentials> credentials) {
    platform::log(std::string("Initiate orvane finished, got credentials: ") +
                  flag(credentials.has_value()));
    onMainIfCurrent(
        signIn, "initiateOrvaneLoginFinished",
        [signIn, credentials = std::move(credentials)](SetupWizardViewController& self) {
            self.application_.activateIgnoringOtherApps();
            self.hideSpinner();
            if (!credentials) {
                self.ui_.mainNextButton->setEnabled(true);
                self.showLoginError(kNoCredentialsText);
                self.nextIsForceLogin_ = true;
                return;
            }
            OrvaneRequests::getCurrentUser(
                credentials, [signIn, credentials = *credentials](std::optional<OrvaneUser> user,
                                                                  const std::string& message) {
                    checkCurrentUser(signIn, std::move(user), message, credentials);
                });
        });
}

void SetupWizardViewController::checkCurrentUser(const SignIn& signIn,
                                                 std::optional<OrvaneUser> user,
                                                 const std::string& /*errorMessage*/,
                                                 OrvaneCredentials credentials) {
    if (user && user->type == OrvaneUserType::POWER) {
        platform::log("orvane login finished, got a valid POWER user: " + describe(*user));
        onMainIfCurrent(signIn, "checkCurrentUser",
                        [user = std::move(user),
                         credentials = std::move(credentials)](SetupWizardViewController& self) {
                            self.orvaneCredentials_ = credentials;
                            self.orvaneUser_ = user;
                            self.selectNewSetupStep(SetupStep::newOrExisting);
                        });
        return;
    }
    platform::log("orvane login finished, invalid user type: " + describe(user));
    onMainIfCurrent(signIn, "checkCurrentUser", [](SetupWizardViewController& self) {
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
