#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/dev-service/dev_service.h"

namespace {

using nlohmann::json;

// The reply's status, or 0 when nothing came back.
int statusOf(const httplib::Result& result) { return result ? result->status : 0; }

// The development service on a loopback port, spoken to as a browser and as the client would.
// What the client reads of its API (users, storages, applications, tokens) the cloud client's
// loopback tests show; here are its pages and what it refuses.
class DevServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.start()); }

    httplib::Client client() {
        httplib::Client c("127.0.0.1", service.port());
        c.set_keep_alive(false);  // so stopping the service never waits on an idle connection
        return c;
    }

    httplib::Headers auth(const json& credentials) {
        return {{"App-ID", credentials["app_id"].get<std::string>()},
                {"Auth-Token", credentials["token"].get<std::string>()}};
    }

    // The body must be the designed error shape: {"errors": [strings]}.
    static void expectErrors(const httplib::Result& result, int status) {
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, status);
        const auto body = json::parse(result->body, nullptr, false);
        ASSERT_TRUE(body.is_object()) << result->body;
        ASSERT_TRUE(body["errors"].is_array()) << result->body;
        ASSERT_FALSE(body["errors"].empty());
        for (const auto& e : body["errors"]) EXPECT_TRUE(e.is_string());
    }

    orvane_dev::DevService service;
};

// The user the credentials belong to is checked by the wizard's loopback sign-in.
TEST_F(DevServiceTest, APersonSignsInAndThePollHandsOutCredentialsOnce) {
    auto c = client();
    const std::string code(64, 'A'), installation = "INSTALL-1";
    const std::string pollPath = "//API/auth/v1/apps/external/auth/" + code + "/";
    const std::string next = "/authenticate/" + code + "/" + installation + "/";
    expectErrors(c.Get(pollPath), 404);

    auto signedIn = c.Post("/login", httplib::Params{{"user", "user-standard"}, {"next", next}});
    ASSERT_TRUE(signedIn);
    EXPECT_EQ(signedIn->status, 303);
    EXPECT_EQ(signedIn->get_header_value("Location"), next);
    expectErrors(c.Get(pollPath), 404);  // signed in, but the code is not authorized yet

    EXPECT_EQ(statusOf(c.Post(next, httplib::Params{{"user", "user-power"}})), 200);

    auto polled = c.Get(pollPath);
    ASSERT_TRUE(polled);
    ASSERT_EQ(polled->status, 200);
    const auto credentials = json::parse(polled->body);
    EXPECT_TRUE(credentials["app_id"].is_string() && credentials["token"].is_string());
    expectErrors(c.Get(pollPath), 404);
}

TEST_F(DevServiceTest, PagesRefuseForeignRedirectsEscapeWhatTheyShowAndKnowTheirStorages) {
    auto c = client();
    auto away = c.Post("/login", httplib::Params{{"user", "user-power"}, {"next", "//evil.test/"}});
    ASSERT_TRUE(away);
    EXPECT_EQ(away->get_header_value("Location"), "/");
    auto page = c.Get("/login?next=%22%3E%3Cscript%3E");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->body.find("<script>"), std::string::npos);
    EXPECT_NE(page->body.find("&quot;&gt;&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(statusOf(c.Post("/authenticate/C/I/", httplib::Params{{"user", "nobody"}})), 400);
    auto settings = c.Get("/admin/storages/storage-media/settings");
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->status, 200);
    EXPECT_NE(settings->body.find("/srv/media"), std::string::npos);
    EXPECT_EQ(statusOf(c.Get("/admin/storages/none/settings")), 404);
}

TEST_F(DevServiceTest, RefusesAnApiRequestWithoutAValidPair) {
    const auto valid = service.issueCredentials("POWER");
    const auto expired = service.issueCredentials("POWER");
    service.expireToken(expired["token"]);
    const char* notProvided = "Authentication credentials were not provided.";
    const std::vector<std::pair<httplib::Headers, const char*>> cases = {
        {{}, notProvided},
        {{{"Auth-Token", valid["token"]}}, notProvided},
        {{{"App-ID", valid["app_id"]}, {"Auth-Token", "0000"}}, "Invalid App-ID or Auth-Token."},
        {auth(expired), "The token has expired."},
    };
    auto c = client();
    for (const auto& [headers, error] : cases) {
        SCOPED_TRACE(error);
        auto result = c.Get("/API/users/v1/users/current/", headers);
        ASSERT_NO_FATAL_FAILURE(expectErrors(result, 401));
        EXPECT_EQ(json::parse(result->body)["errors"][0], error);
    }
}

TEST_F(DevServiceTest, OnlyPowerUsersChangeStoragesAndAppsBelongToTheirOwner) {
    auto c = client();
    const auto standard = auth(service.issueCredentials("STANDARD"));
    expectErrors(c.Post("/API/files/v1/storages/", standard,
                        R"({"name":"x","settings":{"mount_point":"/x"}})", "application/json"),
                 403);
    const auto power = auth(service.issueCredentials("POWER"));
    // Bodies of the wrong shape are refused, and every later list still reads.
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"Post", R"({"name":"x"})"},
        {"Post", "not json"},
        {"Post", R"({"name":"x","settings":{"mount_point":"/x"}})"},
        {"Patch", R"({"name":7})"},
        {"Patch", R"({"settings":{"mount_point":null}})"},
        {"Patch", R"({"settings":[]})"},
    };
    for (const auto& [verb, text] : bad) {
        SCOPED_TRACE(text);
        expectErrors(
            verb == "Post"
                ? c.Post("/API/files/v1/storages/", power, text, "application/json")
                : c.Patch("/API/files/v1/storages/storage-media/", power, text, "application/json"),
            400);
        EXPECT_EQ(statusOf(c.Get("/API/files/v1/storages/?sort=name,asc&method=FILE", power)), 200);
    }

    auto app = c.Post("/API/auth/v1/apps/", power,
                      R"({"name":"gw","default_user_id":"user-power"})", "application/json");
    ASSERT_TRUE(app);
    ASSERT_EQ(app->status, 201);
    const std::string appId = json::parse(app->body)["id"];
    expectErrors(c.Post("/API/auth/v1/apps/" + appId + "/token/", standard), 404);
    expectErrors(c.Get("/API/auth/v1/apps/" + appId + "/", standard), 404);
}

// Attaching a known transcoder is also done by the client's operations tests.
TEST_F(DevServiceTest, AttachesOnlyKnownTranscodersAndRemembersThem) {
    auto c = client();
    const auto power = auth(service.issueCredentials("POWER"));
    const std::string storage = "/API/files/v1/storages/storage-media/transcoders/";
    EXPECT_EQ(statusOf(c.Put(storage + "transcoder-ffmpeg/", power, "", "")), 204);
    expectErrors(c.Put(storage + "nope/", power, "", ""), 404);
    auto state = service.state();
    EXPECT_EQ((*state.storage("storage-media"))["transcoders"], json::array({"transcoder-ffmpeg"}));
}

TEST(DevServiceState, PersistsAcrossRestartsAndRefusesACorruptFile) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("orvane-dev-state-" + std::to_string(::getpid()) + ".json");
    std::string token;
    {
        orvane_dev::DevService first({"127.0.0.1", 0, path});
        ASSERT_TRUE(first.start());
        first.addStorage(orvane_dev::DevState::fileStorage("kept", "Kept", "/k"));
        token = first.issueCredentials("POWER")["token"];
    }
    {
        orvane_dev::DevService second({"127.0.0.1", 0, path});
        ASSERT_TRUE(second.start());
        auto state = second.state();
        EXPECT_TRUE(state.storage("kept"));
        EXPECT_TRUE(state.tokens.count(token));
    }
    for (const char* text : {"{not json", R"({"users":[],"applications":{},"tokens":{},"next_id":1,
                                "transcoders":[],"storages":[{"id":"s","name":3,"settings":{}}]})"}) {
        std::ofstream(path) << text;
        orvane_dev::DevService corrupt({"127.0.0.1", 0, path});
        EXPECT_FALSE(corrupt.start()) << text;
    }
    std::filesystem::remove(path);
}

TEST(DevServiceProgram, RunsAloneAndStopsOnTerm) {
    // The shell tells the program's pid, then waits for it and ends with its status; no
    // early return, so the program is always stopped.
    FILE* out = ::popen("'" ORVANE_DEV_SERVICE_PROGRAM "' --port 0 & echo $!; wait $!", "r");
    ASSERT_TRUE(out);
    int pid = 0, port = 0;
    ASSERT_EQ(
        std::fscanf(out, "%d orvane-dev-service listening on http://127.0.0.1:%d", &pid, &port), 2);
    EXPECT_EQ(statusOf(httplib::Client("127.0.0.1", port).Get("/login?next=/")), 200);
    ::kill(pid, SIGTERM);
    const int status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
