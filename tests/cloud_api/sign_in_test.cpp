#include <gtest/gtest.h>

#include "cloud_api/orvane_requests.h"
#include "platform/linux/kernel_random.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/url_scripted_session.h"
#include "platform/testing/workspace_recording.h"

namespace {

using namespace platform::testing;
using Reply = ScriptedUrlSession::Reply;
using namespace std::chrono_literals;

constexpr const char* kBase = "https://orvane.test/";

// Sign-in on virtual time: a scripted session answers, and the test says when seconds pass.
class SignIn : public ::testing::Test {
protected:
    void SetUp() override {
        session->onSend = [this](const platform::UrlRequest&) {
            sendTimes.push_back(platform.dispatch->now());
        };
        platform.services.urlSession = session;
        platform.services.random = random;
        platform.services.workspace = workspace;
        platform.reinstall();
        platform.writeConfig(std::string("orvane-url = ") + kBase + "\n");
    }

    // Starts the loop; the outcome lands in `result` and `completions`.
    void poll(int retryCount = 0) {
        OrvaneRequests::getOrvaneCredentialsOrRetry(
            pollURL, retryCount, nullptr, [this](std::optional<OrvaneCredentials> credentials) {
                ++completions;
                result = std::move(credentials);
            });
    }

    TestPlatform platform;
    std::shared_ptr<ScriptedUrlSession> session =
        std::make_shared<ScriptedUrlSession>(platform.dispatch->makeSerialQueue("url-session"));
    std::shared_ptr<SequenceRandom> random = std::make_shared<SequenceRandom>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    const std::string code = std::string(64, 'C');
    const std::string pollURL =
        std::string(kBase) + "/API/auth/v1/apps/external/auth/" + code + "/";
    std::vector<platform::Duration> sendTimes;
    int completions = 0;
    std::optional<OrvaneCredentials> result;
};

// The code is sixty-four unbiased draws from the alphabet, fresh each time.
TEST_F(SignIn, TheLoginPageAndThePollUrlCarryTheSameCodeAndTheKeptInstallationId) {
    std::vector<std::uint32_t> draws;
    for (int i = 0; i < 64; ++i) draws.push_back(static_cast<std::uint32_t>(15 - i % 16));
    random->script(draws);
    const std::string drawn = "FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210";
    auto poll = OrvaneRequests::startLogin(true);
    ASSERT_TRUE(poll);
    EXPECT_EQ(poll->pollURL, std::string(kBase) + "/API/auth/v1/apps/external/auth/" + drawn + "/");
    EXPECT_EQ(random->bounds(), std::vector<std::uint32_t>(64, 16));
    // The installation id is made once, kept in the defaults and used from then on.
    const std::string id = OrvaneRequests::appInstanceId();
    EXPECT_EQ(platform.defaults->stringForKey("app_instance_id"), id);
    ASSERT_EQ(workspace->openedURLs().size(), 1u);
    EXPECT_EQ(workspace->openedURLs()[0],
              std::string(kBase) + "login?next=/authenticate/" + drawn + "/" + id + "/");

    random->script(std::vector<std::uint32_t>(64, 11));
    OrvaneRequests::startLogin(false);
    ASSERT_EQ(workspace->openedURLs().size(), 2u);
    EXPECT_EQ(workspace->openedURLs()[1],
              std::string(kBase) + "authenticate/" + std::string(64, 'B') + "/" + id + "/");
    EXPECT_TRUE(platform.log->lines().empty()) << "the sign-in code must never be logged";

    platform.writeConfig("orvane-url = https://\n");
    EXPECT_FALSE(OrvaneRequests::startLogin(true));
    EXPECT_EQ(workspace->openedURLs().size(), 2u) << "nothing opened without a base URL";

    // The second one made: the first was kept. A value of another type is no id.
    platform.defaults->setValue("app_instance_id", true);
    EXPECT_EQ(OrvaneRequests::appInstanceId(), "00000000-0000-4000-8000-000000000002");

    platform.services.random = std::make_shared<platform::linux_impl::KernelRandom>();
    platform.reinstall();
    const std::string fresh = OrvaneRequests::makeAuthCode();
    EXPECT_NE(fresh, OrvaneRequests::makeAuthCode()) << "the kernel's generator";
    EXPECT_EQ(fresh.find_first_not_of("0123456789ABCDEF"), std::string::npos) << fresh;
}

// Every poll answers 404 with a body that repeats the code: neither the URL nor the body may
// reach the log.
TEST_F(SignIn, GivesUpAfterFortyOnePollsAtLeastThreeSecondsApart) {
    session->responder = [this](const platform::UrlRequest&) {
        return Reply::http(404, "<p>Unknown code " + code + "</p>");
    };
    poll();
    platform.dispatch->advance(10min);
    ASSERT_EQ(sendTimes.size(), 41u);
    EXPECT_EQ(sendTimes.front(), platform::seconds(1));
    for (std::size_t i = 1; i < sendTimes.size(); ++i) {
        EXPECT_GE(sendTimes[i] - sendTimes[i - 1], platform::seconds(3)) << i;
    }
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(result);
    EXPECT_EQ(platform.dispatch->pendingCount(), 0u) << "nothing more is scheduled";
    // A negative retry count still sends at most forty-one.
    poll(-100);
    platform.dispatch->advance(1h);
    EXPECT_EQ(sendTimes.size(), 82u);
    EXPECT_EQ(completions, 2);

    for (const auto& request : session->sent()) {
        EXPECT_EQ(request.effectiveMethod(), "GET");
        EXPECT_EQ(request.timeoutInterval, 60.0);
        EXPECT_FALSE(request.value("App-ID"));
        EXPECT_FALSE(request.value("Auth-Token"));
    }
    const std::string failed = "Request [GET] to <auth> failed - invalid HTTP status code 404";
    EXPECT_EQ(platform.log->matching(failed).size(), 82u);
    EXPECT_EQ(platform.log->matching(code), std::vector<std::string>{});
}

TEST_F(SignIn, EveryKindOfFailedPollIsRetriedUntilCredentialsArrive) {
    const std::vector<Reply> replies = {
        Reply::failure({platform::UrlError::Kind::timedOut, "The request timed out."}),
        Reply::http(200, R"({"app_id":"A"})"),
        Reply::http(500, "<html>down</html>"),
        Reply::http(204, ""),
        Reply::http(200, R"({"app_id":"A","token":"SECRET-T"})"),
    };
    std::size_t polls = 0;
    session->responder = [&](const platform::UrlRequest&) {
        return replies[std::min(polls++, replies.size() - 1)];
    };
    poll();
    platform.dispatch->advance(1h);
    EXPECT_EQ(polls, replies.size());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(result, (OrvaneCredentials{"A", "SECRET-T"}));
    EXPECT_EQ(sendTimes.back(), platform::seconds(1 + 4 * 3));
    EXPECT_EQ(platform.log->matching("SECRET-T"), std::vector<std::string>{});
}

}  // namespace
