#include <gtest/gtest.h>

#include <ostream>

#include "tests/cloud_api/cloud_loopback.h"

namespace {

using orvane_dev::Override;

class RequestCore : public CloudLoopbackTest {
protected:
    std::string prefix(const std::string& method, const std::string& path) {
        return "Request [" + method + "] to " + service.baseURL() + path;
    }
};

TEST_F(RequestCore, DecodesARecordAndCompletesOnTheSessionQueue) {
    auto outcome = request<OrvaneUser>("API/users/v1/users/current/", "GET", std::nullopt,
                                       powerCredentials());
    ASSERT_TRUE(outcome.record) << outcome.message;
    EXPECT_EQ(outcome.record->type, OrvaneUserType::POWER);
    EXPECT_EQ(outcome.message, "");
    EXPECT_EQ(outcome.queue, "url-session");
    EXPECT_TRUE(platform.log->contains("Request successfully parsed as OrvaneUser"));
    EXPECT_EQ(platform.log->matching(prefix("GET", "API/users/v1/users/current/") +
                                     " success - received ")
                  .size(),
              1u);
}

TEST_F(RequestCore, SendsCredentialHeadersOnlyWhenGiven) {
    const auto credentials = powerCredentials();
    request<OrvaneUser>("API/users/v1/users/current/", "GET", std::nullopt, credentials);
    request<OrvaneUser>("API/users/v1/users/current/", "GET");
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].header("App-ID"), credentials.app_id);
    EXPECT_EQ(journal[0].header("Auth-Token"), credentials.token);
    EXPECT_FALSE(journal[1].header("App-ID"));
    EXPECT_FALSE(journal[1].header("Auth-Token"));
}

TEST_F(RequestCore, SetsTheJsonContentTypeOnlyWithABody) {
    const auto credentials = powerCredentials();
    request<OrvaneStorage>("API/files/v1/storages/", "POST", nlohmann::json{{"name", "x"}},
                           credentials);
    request<OrvaneCredentials>("API/auth/v1/apps/" + credentials.app_id + "/token/", "POST",
                               std::nullopt, credentials);
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].header("Content-Type"), "application/json;charset=UTF-8");
    EXPECT_EQ(journal[0].body, R"({"name":"x"})");
    EXPECT_FALSE(journal[1].header("Content-Type"));
    EXPECT_EQ(journal[1].body, "");
}

TEST_F(RequestCore, PreparedRequestsHaveTheSixtySecondTimeOut) {
    auto prepared = OrvaneRequests::prepareJSONRequest("API/x/", "PATCH", std::nullopt);
    ASSERT_TRUE(prepared.request);
    EXPECT_EQ(prepared.request->timeoutInterval, 60.0);
    EXPECT_EQ(prepared.request->method, "PATCH");
    EXPECT_EQ(prepared.request->url, service.baseURL() + "API/x/");
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

struct FailureCase {
    const char* name;
    int status;
    const char* body;
    const char* message;
    const char* logLine;  // after the prefix
};

// Shown by the test runner instead of the case's bytes.
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class RequestFailures : public RequestCore, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RequestFailures, TurnIntoTheDesignedMessage) {
    const auto& c = GetParam();
    service.setOverride("GET", "/API/fail/", Override::reply(c.status, c.body));
    auto outcome = request<OrvaneUser>("API/fail/", "GET");
    EXPECT_FALSE(outcome.record);
    EXPECT_EQ(outcome.message, c.message);
    const std::string p = prefix("GET", "API/fail/");
    EXPECT_TRUE(platform.log->contains(p + " failed - invalid HTTP status code " +
                                       std::to_string(c.status) + ", data: " +
                                       std::to_string(std::string(c.body).size()) + " bytes"));
    EXPECT_TRUE(platform.log->contains(p + c.logLine)) << c.logLine;
    EXPECT_TRUE(platform.log->contains(p + " error response string: " + c.body + "."));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestFailures,
    ::testing::Values(
        FailureCase{"TwoErrors", 401, R"({"errors":["Bad token","Sign in again"]})",
                    "Bad token\nSign in again (HTTP 401)",
                    R"( Error response: OrvaneErrorResponse(errors: ["Bad token", "Sign in again"]))"},
        FailureCase{"EmptyErrors", 500, R"({"errors":[]})", " (HTTP 500)",
                    " Error response: OrvaneErrorResponse(errors: [])"},
        FailureCase{"EmptyObject", 500, "{}", "HTTP error (HTTP 500)",
                    " Error response: OrvaneErrorResponse(errors: nil)"},
        FailureCase{"Html", 500, "<html><body>Oops</body></html>", "HTTP request failed (500)",
                    " Failed to parse error messages from response"},
        FailureCase{"ErrorsNotAList", 403, R"({"errors":"denied"})", "HTTP request failed (403)",
                    " Failed to parse error messages from response"}),
    [](const auto& info) { return std::string(info.param.name); });

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

struct MissingUrlCase {
    const char* name;
    std::optional<std::string> url;
};

// Shown by the test runner instead of the case's bytes.
void PrintTo(const MissingUrlCase& c, std::ostream* os) { *os << c.name; }

class MissingBaseUrl : public RequestCore, public ::testing::WithParamInterface<MissingUrlCase> {};

TEST_P(MissingBaseUrl, FailsAtOnceWithoutSendingOrLogging) {
    setOrvaneUrl(GetParam().url);
    bool done = false;
    std::string message;
    OrvaneRequests::doOrvaneJSONRequest<OrvaneUser>(
        "API/users/v1/users/current/", "GET", std::nullopt, std::nullopt,
        [&](std::optional<OrvaneUser> user, std::string m) {
            done = !user;
            message = m;
        });
    EXPECT_TRUE(done);  // synchronously, before the call returned
    EXPECT_EQ(message,
              "Could not find orvane-url from config.ini. Is orvane Storage Gateway installed?");
    EXPECT_TRUE(platform.log->lines().empty());
    EXPECT_TRUE(service.journal().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingBaseUrl,
                         ::testing::Values(MissingUrlCase{"NoKey", std::nullopt},
                                           MissingUrlCase{"SchemeOnly", std::string("https://")}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RequestCore, AnEmptyOrvaneUrlFailsAsATransportError) {
    setOrvaneUrl("");
    auto outcome = request<OrvaneUser>("API/users/v1/users/current/", "GET");
    EXPECT_EQ(outcome.message, "unsupported URL");
    EXPECT_TRUE(platform.log->contains(
        "Request [GET] to /API/users/v1/users/current/ failed with unsupported URL"));
}

TEST_F(RequestCore, AnInvalidUrlFailsAtOnce) {
    bool done = false;
    std::string message;
    OrvaneRequests::doOrvaneJSONRequest<OrvaneUser>(
        "API/storages/my storage/", "GET", std::nullopt, std::nullopt,
        [&](std::optional<OrvaneUser>, std::string m) {
            done = true;
            message = m;
        });
    EXPECT_TRUE(done);
    EXPECT_EQ(message, "Failed to generate request URL for " + service.baseURL() +
                           "API/storages/my storage/");
    EXPECT_TRUE(service.journal().empty());
}

TEST_F(RequestCore, AnUnserialisableBodyFailsAtOnce) {
    bool done = false;
    std::string message;
    OrvaneRequests::doOrvaneJSONRequest<OrvaneStorage>(
        "API/files/v1/storages/", "POST", nlohmann::json{{"name", "bad\xff"}}, std::nullopt,
        [&](std::optional<OrvaneStorage>, std::string m) {
            done = true;
            message = m;
        });
    EXPECT_TRUE(done);
    EXPECT_TRUE(message.starts_with("Failed to generate request JSON for data {")) << message;
    EXPECT_EQ(platform.log->matching("doOrvaneJSONRequest, JSON serialization failed ").size(), 1u);
    EXPECT_TRUE(service.journal().empty());
}

TEST_F(RequestCore, ARefusedConnectionReportsTheTransportError) {
    const std::string base = service.baseURL();
    closeSession();
    service.stop();
    startSession({});
    setOrvaneUrl(base);
    auto outcome = request<OrvaneUser>("API/users/v1/users/current/", "GET");
    EXPECT_EQ(outcome.message, "Could not connect to the server.");
    EXPECT_TRUE(platform.log->contains(prefix("GET", "API/users/v1/users/current/") +
                                       " failed with Could not connect to the server."));
}

TEST_F(RequestCore, ASlowServerTimesOut) {
    startSession({std::chrono::milliseconds(200)});
    service.setOverride("GET", "/API/slow/", Override::reply(200, "{}", std::chrono::milliseconds(3000)));
    auto outcome = request<OrvaneUser>("API/slow/", "GET");
    EXPECT_EQ(outcome.message, "The request timed out.");
}

TEST_F(RequestCore, FollowsRedirectsWithinTheOrigin) {
    Override moved = Override::reply(302, "");
    moved.location = "/API/users/v1/users/current/";
    service.setOverride("GET", "/API/moved/", moved);
    auto outcome = request<OrvaneUser>("API/moved/", "GET", std::nullopt, powerCredentials());
    ASSERT_TRUE(outcome.record) << outcome.message;
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1].path, "/API/users/v1/users/current/");
    EXPECT_TRUE(journal[1].header("Auth-Token"));
}

}  // namespace
