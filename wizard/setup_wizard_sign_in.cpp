#include <cmath>
#include <cstdio>

#include "cloud_api/orvane_requests.h"
#include "platform/clipboard.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/translation.h"
#include "platform/workspace.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

constexpr const char* kNoConfigText = QT_TRANSLATE_NOOP(
    "SetupWizard", "Could not start login, failed to parse orvane Storage Gateway config.ini");
constexpr const char* kNoCredentialsText =
    QT_TRANSLATE_NOOP("SetupWizard",
                      "Authentication failed, did not receive orvane credentials. Click Next to "
                      "try to log in as another user.");
constexpr const char* kNotPowerUserText =
    QT_TRANSLATE_NOOP("SetupWizard",
                      "You need to be a power user to set up an orvane Storage Gateway. Click "
                      "Next to log in as another user.");

// Under the time left while the poll waits: what to do when no browser shows the page.
constexpr const char* kOpenedHint = QT_TRANSLATE_NOOP(
    "SetupWizard",
    "No browser window? Open the sign-in page again, or copy its address into a browser.");
constexpr const char* kNotOpenedHint =
    QT_TRANSLATE_NOOP("SetupWizard",
                      "The web browser could not be opened. Copy the sign-in page's address and "
                      "paste it into a browser.");
constexpr const char* kCopiedHint = QT_TRANSLATE_NOOP(
    "SetupWizard",
    "The address is copied. Paste it into a browser's address bar to sign in there.");

//: %1 is the time left, in minutes and seconds ("4:59").
constexpr const char* kWaitingText = QT_TRANSLATE_NOOP(
    "SetupWizard", "Waiting for you to sign in to orvane in your web browser (%1 left).");

std::string shown(const char* source) { return platform::translate("SetupWizard", source); }

const char* flag(bool value) { return value ? "true" : "false"; }

std::string waitingText(double secondsLeft) {
    const long seconds = std::lround(secondsLeft);
    char left[32];
    std::snprintf(left, sizeof left, "%ld:%02ld", seconds / 60, seconds % 60);
    return platform::fillPlaceholders(platform::translate("SetupWizard", kWaitingText), {left});
}

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
    showSpinner();
    auto start = OrvaneRequests::startLogin(forceLogin);
    if (!start) {
        showLoginError(shown(kNoConfigText));
        hideSpinner();
        return;
    }
    signInPageURL_ = start->pageURL;
    ui_.initialSignInHintTextField->setStringValue(
        shown(start->opened ? kOpenedHint : kNotOpenedHint));
    showSignInTimeLeft(OrvaneRequests::pollSecondsLeft(0));
    ui_.initialSignInWaitingBox->setHidden(false);
    // Disabled once the box shows, so that the keyboard's focus moves on from Next to the box's
    // first button rather than to Cancel, where a second Return would end the sign-in.
    ui_.mainNextButton->setEnabled(false);
    const Opening sentIn = opening();
    OrvaneRequests::getOrvaneCredentialsOrRetry(
        start->pollURL, 0, std::make_shared<SignInCancellation>(*this, sentIn.number),
        [sentIn](std::optional<OrvaneCredentials> credentials) {
            initiateOrvaneLoginFinished(sentIn, std::move(credentials));
        },
        [sentIn](double secondsLeft) {
            onMainIfOpen(sentIn, "getOrvaneCredentialsOrRetry",
                         [secondsLeft](SetupWizardViewController& self) {
                             self.showSignInTimeLeft(secondsLeft);
                         });
        });
}

void SetupWizardViewController::openSignInPageAgainClick() {
    platform::assertMainThread(dispatch_);
    if (!signInPageURL_) return;
    const bool opened = platform::workspace().openURL(*signInPageURL_);
    platform::log(std::string("openSignInPageAgainClick, opened: ") + flag(opened));
    ui_.initialSignInHintTextField->setStringValue(shown(opened ? kOpenedHint : kNotOpenedHint));
}

void SetupWizardViewController::copySignInAddressClick() {
    platform::assertMainThread(dispatch_);
    if (!signInPageURL_) return;
    platform::clipboard().setText(*signInPageURL_);
    platform::log("copySignInAddressClick, the sign-in page's address is on the clipboard");
    ui_.initialSignInHintTextField->setStringValue(shown(kCopiedHint));
}

void SetupWizardViewController::initiateOrvaneLoginFinished(
    const Opening& sentIn, std::optional<OrvaneCredentials> credentials) {
    platform::log(std::string("Initiate orvane finished, got credentials: ") +
                  flag(credentials.has_value()));
    onMainIfOpen(sentIn, "initiateOrvaneLoginFinished",
                 [sentIn, credentials = std::move(credentials)](SetupWizardViewController& self) {
                     self.application_.activateIgnoringOtherApps();
                     self.hideSpinner();
                     self.hideSignInWaiting();
                     if (!credentials) {
                         self.ui_.mainNextButton->setEnabled(true);
                         self.showLoginError(shown(kNoCredentialsText));
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
        self.showLoginError(shown(kNotPowerUserText));
    });
}

void SetupWizardViewController::showSignInTimeLeft(double secondsLeft) {
    platform::assertMainThread(dispatch_);
    ui_.initialSignInWaitingTextField->setStringValue(waitingText(secondsLeft));
}

void SetupWizardViewController::hideSignInWaiting() {
    platform::assertMainThread(dispatch_);
    ui_.initialSignInWaitingBox->setHidden(true);
    signInPageURL_.reset();
}

void SetupWizardViewController::showLoginError(const std::string& text) {
    platform::assertMainThread(dispatch_);
    ui_.initialLoginErrorTextField->setStringValue(text);
    ui_.initialLoginErrorTextField->setHidden(false);
}
