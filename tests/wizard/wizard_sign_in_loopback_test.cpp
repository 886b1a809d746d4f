// The sign-in for real: the libcurl session, the poll on its own rhythm and the development
// service, with a browser that signs in as soon as the page opens.
#include <gtest/gtest.h>

#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/workspace_recording.h"
#include "tests/cloud_api/cloud_loopback.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

// Authorizes the sign-in page's code as the first user of a role, as a person would.
class TestBrowser : public platform::testing::RecordingWorkspace {
public:
    TestBrowser(orvane_dev::DevService& service, std::string role)
        : service_(service), role_(std::move(role)) {}
    bool openURL(const std::string& url) override {
        const auto at = url.find("authenticate/");
        if (at == std::string::npos) return false;
        const std::string rest = url.substr(at + 13);  // "<code>/<installation id>/"
        const auto slash = rest.find('/');
        authorized = service_.authorize(rest.substr(0, slash),
                                        rest.substr(slash + 1, rest.size() - slash - 2), role_);
        return true;
    }
    bool authorized = false;

private:
    orvane_dev::DevService& service_;
    std::string role_;
};

class NoName : public platform::ComputerName {
public:
    std::optional<std::string> localizedName() const override { return std::nullopt; }
};

class WizardSignInLoopback : public CloudLoopbackTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WizardSignInLoopback, OnlyAPowerUserGetsThrough) {
    auto browser = std::make_shared<TestBrowser>(service, GetParam());
    platform.services.workspace = browser;
    platform.services.random = std::make_shared<platform::testing::SequenceRandom>();
    platform.reinstall();
    platform::testing::MemoryWizardWindow window;
    NoName name;
    auto controller = std::make_shared<SetupWizardViewController>(window, *platform.application,
                                                                  name, *platform.dispatch);
    window.setContent(controller);
    window.makeKeyAndOrderFront();

    controller->mainNextButtonClick();
    ASSERT_TRUE(browser->authorized);
    platform.dispatch->advance(platform::seconds(1));
    const bool power = std::string(GetParam()) == "POWER";
    EXPECT_TRUE(pump([&] {
        return window.setupStepTabView.selectedIdentifier() == "newOrExisting" ||
               !window.initialLoginErrorTextField.hidden;
    }));
    EXPECT_EQ(window.setupStepTabView.selectedIdentifier() == "newOrExisting", power);
    EXPECT_EQ(controller->orvaneUser().has_value(), power);
    if (!power) {
        EXPECT_EQ(window.initialLoginErrorTextField.text,
                  "You need to be a power user to set up an orvane Storage Gateway. Click Next to "
                  "log in as another user.");
    }
    window.performClose();
}

INSTANTIATE_TEST_SUITE_P(Roles, WizardSignInLoopback, ::testing::Values("POWER", "STANDARD"));

}  // namespace
