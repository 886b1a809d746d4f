#include <gtest/gtest.h>

#include <limits>

#include "tests/cloud_api/cloud_loopback.h"

namespace {

using orvane_dev::Override;

class RequestCore : public CloudLoopbackTest {
protected:
    std::string prefix(const std::string& method, const std::string& path) {
        return "Request [" + method + "] to " + service.baseURL() + path;
    }
};

// The address in config.ini may hold a name and password; the log shows neither.
TEST_F(RequestCore, DecodesOnTheSessionQueueAndSendsCredentialsAndTypeOnlyWhenGiven) {
    const auto credentials = powerCredentials();
    setOrvaneUrl("http://name:secret@" + service.baseURL().substr(std::string("http://").size()));
    auto [user, message] =
        request<OrvaneUser>("API/users/v1/users/current/", "GET", std::nullopt, credentials);
    ASSERT_TRUE(user) << message;
    EXPECT_EQ(user->type, OrvaneUserType::POWER);
    EXPECT_EQ(message, "");
    EXPECT_EQ(completionQueue, "url-session");
    EXPECT_TRUE(platform.log->contains("Request successfully parsed as OrvaneUser"));
    EXPECT_TRUE(platform.log->contains(prefix("GET", "API/users/v1/users/current/") +
                                       " success - received "));
    EXPECT_TRUE(platform.log->matching("secret").empty());

    request<OrvaneStorage>("API/files/v1/storages/", "POST", nlohmann::json{{"name", "x"}});
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].header("App-ID"), credentials.app_id);
    EXPECT_EQ(journal[0].header("Auth-Token"), credentials.token);
    EXPECT_FALSE(journal[0].header("Content-Type"));
    EXPECT_EQ(journal[0].body, "");
    EXPECT_FALSE(journal[1].header("App-ID"));
    EXPECT_FALSE(journal[1].header("Auth-Token"));
    EXPECT_EQ(journal[1].header("Content-Type"), "application/json;charset=UTF-8");
    EXPECT_EQ(journal[1].body, R"({"name":"x"})");
}

// A data request that gets the same reply succeeds: adding a transcoder in the operations tests.
TEST_F(RequestCore, EmptySuccessIsNoRecord) {
    service.setOverride("*", "/API/empty/", Override::reply(204, ""));
    auto [storage, message] = request<OrvaneStorage>("API/empty/", "GET");
    EXPECT_FALSE(storage);
    EXPECT_EQ(message, "HTTP error, failed to parse JSON response");
    EXPECT_TRUE(
        platform.log->contains(prefix("GET", "API/empty/") + " success - received 0 bytes"));
    EXPECT_TRUE(platform.log->contains("Request error parsing JSON: "));
}

TEST_F(RequestCore, FailureStatusesTurnIntoTheDesignedMessage) {
    struct Case {
        int status;
        const char* body;
        const char* message;
        const char* logLine;  // after the prefix
    };
    const std::vector<Case> cases = {
        {401, R"({"errors":["Bad token","Sign in again"]})", "Bad token\nSign in again (HTTP 401)",
         R"( Error response: OrvaneErrorResponse(errors: ["Bad token", "Sign in again"]))"},
        {500, R"({"errors":[]})", " (HTTP 500)",
         " Error response: OrvaneErrorResponse(errors: [])"},
        {500, "{}", "HTTP error (HTTP 500)", " Error response: OrvaneErrorResponse(errors: nil)"},
        {500, "<html><body>Oops</body></html>", "HTTP request failed (500)",
         " Failed to parse error messages from response"},
        {403, R"({"errors":["a",2]})", "HTTP request failed (403)",
         " Failed to parse error messages from response"},
        // The server's words reach an alert and the log: their control characters arrive as
        // escapes, and the log line stays one line.
        {400, R"({"errors":["Bad\u001b[2J\u009bname\tx\ny"]})",
         "Bad\\x1b[2J\\u009bname\\tx\\ny (HTTP 400)",
         R"( Error response: OrvaneErrorResponse(errors: ["Bad\u001b[2J\u009bname\tx\ny"]))"},
    };
    const std::string p = prefix("GET", "API/fail/");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        platform.log->clear();
        service.setOverride("GET", "/API/fail/", Override::reply(c.status, c.body));
        auto [user, message] = request<OrvaneUser>("API/fail/", "GET");
        EXPECT_FALSE(user);
        EXPECT_EQ(message, c.message);
        EXPECT_TRUE(platform.log->contains(
            p + " failed - invalid HTTP status code " + std::to_string(c.status) +
            ", data: " + std::to_string(std::string(c.body).size()) + " bytes"));
        EXPECT_TRUE(platform.log->contains(p + c.logLine)) << c.logLine;
        EXPECT_TRUE(platform.log->contains(p + " error response string: " + c.body + "."));
    }
}

TEST_F(RequestCore, RequestsThatCannotBeFormedFailAtOnceWithoutSending) {
    const std::string noUrl =
        "Could not find orvane-url from config.ini. Is orvane Storage Gateway installed?";
    const std::string base = service.baseURL();
    const std::string user = "API/users/v1/users/current/";
    struct Case {
        std::optional<std::string> url;  // orvane-url in config.ini
        std::string path;
        std::optional<nlohmann::json> body;  // one that cannot be serialised, when given
        std::string message;
    };
    const std::vector<Case> cases = {
        {std::nullopt, user, std::nullopt, noUrl},
        {"https://", user, std::nullopt, noUrl},
        {base, "API/my storage/", std::nullopt,
         "Failed to generate request URL for " + base + "API/my storage/"},
        {base, user, nlohmann::json{{"name", "bad\xff"}}, ""},
        {base, user, nlohmann::json{{"x", std::numeric_limits<double>::infinity()}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.value_or("<none>") + " " + c.path);
        setOrvaneUrl(c.url);
        platform.log->clear();
        bool done = false;
        std::string message;
        OrvaneRequests::doOrvaneJSONRequest<OrvaneStorage>(
            c.path, c.body ? "POST" : "GET", c.body, std::nullopt,
            [&](std::optional<OrvaneStorage> record, std::string m) {
                done = !record;
                message = m;
            });
        EXPECT_TRUE(done) << "synchronously, before the call returned";
        const auto lines = platform.log->lines();
        if (c.body) {
            EXPECT_TRUE(message.starts_with("Failed to generate request JSON for data {"))
                << message;
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_TRUE(lines[0].starts_with("doOrvaneJSONRequest, JSON serialization failed "));
        } else {
            EXPECT_EQ(message, c.message);
            EXPECT_TRUE(lines.empty());
        }
    }
    EXPECT_TRUE(service.journal().empty());
}

// How the session names each transport error is pinned in the session's own tests; this shows
// the request core hands the sentence on.
TEST_F(RequestCore, ASlowServerTimesOut) {
    startSession({std::chrono::milliseconds(200)});
    service.setOverride("GET", "/API/slow/",
                        Override::reply(200, "{}", std::chrono::milliseconds(3000)));
    EXPECT_EQ(request<OrvaneUser>("API/slow/", "GET").second, "The request timed out.");
    EXPECT_TRUE(
        platform.log->contains(prefix("GET", "API/slow/") + " failed with The request timed out."));
}

}  // namespace
