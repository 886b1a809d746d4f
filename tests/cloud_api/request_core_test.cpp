#include <gtest/gtest.h>

#include "tests/cloud_api/cloud_loopback.h"

namespace {

using orvane_dev::Override;

class RequestCore : public CloudLoopbackTest {
protected:
    std::string prefix(const std::string& method, const std::string& path) {
        return "Request [" + method + "] to " + service.baseURL() + path;
    }
};

TEST_F(RequestCore, DecodesOnTheSessionQueueAndSendsCredentialsAndTypeOnlyWhenGiven) {
    const auto credentials = powerCredentials();
    auto outcome = request<OrvaneUser>("API/users/v1/users/current/", "GET", std::nullopt,
                                       credentials);
    ASSERT_TRUE(outcome.record) << outcome.message;
    EXPECT_EQ(outcome.record->type, OrvaneUserType::POWER);
    EXPECT_EQ(outcome.message, "");
    EXPECT_EQ(outcome.queue, "url-session");
    EXPECT_TRUE(platform.log->contains("Request successfully parsed as OrvaneUser"));
    EXPECT_EQ(platform.log->matching(prefix("GET", "API/users/v1/users/current/") +
                                     " success - received ")
                  .size(),
              1u);

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

// Method and URL of prepared requests are pinned by the journal in the operations tests.
TEST_F(RequestCore, PreparedRequestsHaveTheSixtySecondTimeOut) {
    auto prepared = OrvaneRequests::prepareJSONRequest("API/x/", "PATCH", std::nullopt);
    ASSERT_TRUE(prepared.request);
    EXPECT_EQ(prepared.request->timeoutInterval, 60.0);
}

TEST_F(RequestCore, EmptySuccessIsDataButNotARecord) {
    service.setOverride("*", "/API/empty/", Override::reply(204, ""));
    auto record = request<OrvaneStorage>("API/empty/", "GET");
    EXPECT_FALSE(record.record);
    EXPECT_EQ(record.message, "HTTP error, failed to parse JSON response");
    EXPECT_TRUE(platform.log->contains(prefix("GET", "API/empty/") + " success - received 0 bytes"));
    EXPECT_TRUE(platform.log->contains("Request error parsing JSON: "));

    auto data = send(*OrvaneRequests::makeRequest(service.baseURL() + "API/empty/", "DELETE"),
                     std::nullopt);
    EXPECT_EQ(data.data, "");
    EXPECT_EQ(data.message, "");
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
        {500, R"({"errors":[]})", " (HTTP 500)", " Error response: OrvaneErrorResponse(errors: [])"},
        {500, "{}", "HTTP error (HTTP 500)", " Error response: OrvaneErrorResponse(errors: nil)"},
        {500, "<html><body>Oops</body></html>", "HTTP request failed (500)",
         " Failed to parse error messages from response"},
        {403, R"({"errors":"denied"})", "HTTP request failed (403)",
         " Failed to parse error messages from response"},
    };
    const std::string p = prefix("GET", "API/fail/");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        platform.log->clear();
        service.setOverride("GET", "/API/fail/", Override::reply(c.status, c.body));
        auto outcome = request<OrvaneUser>("API/fail/", "GET");
        EXPECT_FALSE(outcome.record);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_TRUE(platform.log->contains(p + " failed - invalid HTTP status code " +
                                           std::to_string(c.status) + ", data: " +
                                           std::to_string(std::string(c.body).size()) + " bytes"));
        EXPECT_TRUE(platform.log->contains(p + c.logLine)) << c.logLine;
        EXPECT_TRUE(platform.log->contains(p + " error response string: " + c.body + "."));
    }
}

TEST_F(RequestCore, ALogNameKeepsTheUrlAndTheBodyOutOfTheLog) {
    service.setOverride("GET", "/secret/", Override::reply(404, R"({"errors":["code SECRET unknown"]})"));
    auto outcome =
        send(*OrvaneRequests::makeRequest(service.baseURL() + "secret/", "GET"), "<auth>");
    EXPECT_EQ(outcome.message, "code SECRET unknown (HTTP 404)");
    EXPECT_TRUE(platform.log->contains("Request [GET] to <auth> failed - invalid HTTP status code 404"));
    EXPECT_TRUE(platform.log->contains("Request [GET] to <auth> Error response: "));
    EXPECT_FALSE(platform.log->contains("error response string"));
    EXPECT_FALSE(platform.log->contains(service.baseURL()));
}

TEST_F(RequestCore, RequestsThatCannotBeFormedFailAtOnceWithoutSending) {
    const std::string noUrl =
        "Could not find orvane-url from config.ini. Is orvane Storage Gateway installed?";
    const std::string base = service.baseURL();
    struct Case {
        std::optional<std::string> url;  // orvane-url in config.ini
        std::string path;
        std::optional<nlohmann::json> body;
        std::string message;  // only its start when there is a body
        const char* logLine;  // the start of the one line logged, or nullptr for none
    };
    const std::vector<Case> cases = {
        {std::nullopt, "API/users/v1/users/current/", std::nullopt, noUrl, nullptr},
        {"https://", "API/users/v1/users/current/", std::nullopt, noUrl, nullptr},
        {base, "API/storages/my storage/", std::nullopt,
         "Failed to generate request URL for " + base + "API/storages/my storage/", nullptr},
        {base, "API/files/v1/storages/", nlohmann::json{{"name", "bad\xff"}},
         "Failed to generate request JSON for data {", "doOrvaneJSONRequest, JSON serialization failed "},
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
        EXPECT_TRUE(c.body ? message.starts_with(c.message) : message == c.message) << message;
        const auto lines = platform.log->lines();
        ASSERT_EQ(lines.size(), c.logLine ? 1u : 0u);
        if (c.logLine) {
            EXPECT_TRUE(lines[0].starts_with(c.logLine)) << lines[0];
        }
    }
    EXPECT_TRUE(service.journal().empty());
}

// How the session names each transport error is pinned in the session's own tests; these show
// the request core hands the sentence on.
TEST_F(RequestCore, AnOrvaneUrlWithoutSchemeSendsNothing) {
    const std::string sentence = "The request was not sent because its address does not begin "
                                 "with http:// or https:// followed by a server name.";
    for (const char* url : {"", "gw.example.com/"}) {
        setOrvaneUrl(url);
        auto outcome = request<OrvaneUser>("API/users/v1/users/current/", "GET", std::nullopt,
                                           OrvaneCredentials{"A", "T"});
        EXPECT_EQ(outcome.message, sentence) << url;
        EXPECT_TRUE(platform.log->contains(" failed with " + sentence));
    }
    EXPECT_TRUE(service.journal().empty()) << "the token went out";
}

TEST_F(RequestCore, ASlowServerTimesOut) {
    startSession({std::chrono::milliseconds(200)});
    service.setOverride("GET", "/API/slow/", Override::reply(200, "{}", std::chrono::milliseconds(3000)));
    auto outcome = request<OrvaneUser>("API/slow/", "GET");
    EXPECT_EQ(outcome.message, "The request timed out.");
    EXPECT_TRUE(platform.log->contains(prefix("GET", "API/slow/") +
                                       " failed with The request timed out."));
}

}  // namespace
