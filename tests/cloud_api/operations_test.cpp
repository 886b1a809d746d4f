#include <gtest/gtest.h>

#include "tests/cloud_api/cloud_loopback.h"

namespace {

using nlohmann::json;
using orvane_dev::Override;

json transcoder(const std::string& id, const std::string& type, std::optional<bool> local) {
    json t = {{"id", id}, {"name", id}, {"type", type}};
    if (local) t["settings"] = {{"local", *local}};
    return t;
}

class Operations : public CloudLoopbackTest {
protected:
    void SetUp() override {
        CloudLoopbackTest::SetUp();
        credentials = powerCredentials();
    }

    // Runs an operation, pumping replies until its completion has run; returns what it got.
    template <class Record>
    std::pair<std::optional<Record>, std::string> run(
        const std::function<void(OrvaneRequests::RecordCompletion<Record>)>& operation) {
        std::optional<std::pair<std::optional<Record>, std::string>> got;
        operation([&](std::optional<Record> record, std::string message) {
            got.emplace(std::move(record), std::move(message));
        });
        EXPECT_TRUE(pump([&] { return got.has_value(); }));
        return got.value_or(std::pair<std::optional<Record>, std::string>{});
    }

    std::optional<bool> runFlag(
        const std::function<void(OrvaneRequests::SuccessCompletion)>& operation) {
        std::optional<bool> got;
        operation([&](bool ok) { got = ok; });
        EXPECT_TRUE(pump([&] { return got.has_value(); }));
        return got;
    }

    std::vector<orvane_dev::JournalEntry> puts() const {
        std::vector<orvane_dev::JournalEntry> found;
        for (auto& entry : service.journal()) {
            if (entry.method == "PUT") found.push_back(entry);
        }
        return found;
    }

    OrvaneCredentials credentials;
};

TEST_F(Operations, TranscoderChainsAddTheFirstLocalOfEachEngineLastTakenFirst) {
    struct Case {
        const char* name;
        std::vector<json> transcoders;
        const char* forbidden;  // a transcoder whose PUT answers 403, or nullptr
        std::vector<std::string> sent;
        bool result;
    };
    const std::vector<Case> cases = {
        {"ImageMagickThenTwoFfmpeg",
         {transcoder("I1", "IMAGEMAGICK", true), transcoder("F1", "FFMPEG", true),
          transcoder("F2", "FFMPEG", true)},
         nullptr,
         {"F1", "I1"},
         true},
        {"OnlyOneLocalFfmpeg",
         {transcoder("F1", "FFMPEG", true), transcoder("X", "ffmpeg", true)},
         nullptr,
         {"F1"},
         false},
        {"FfmpegNotLocal",
         {transcoder("F1", "FFMPEG", false), transcoder("F2", "FFMPEG", std::nullopt),
          transcoder("I1", "IMAGEMAGICK", true)},
         nullptr,
         {"I1"},
         false},
        {"OneAnswersForbidden",
         {transcoder("F1", "FFMPEG", true), transcoder("I1", "IMAGEMAGICK", true)},
         "I1",
         {"I1", "F1"},
         false},
        {"NothingLocal", {transcoder("F1", "FFMPEG", false)}, nullptr, {}, false},
    };
    const std::string storagePath = "/API/files/v1/storages/storage-media/transcoders/";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service.clearOverrides();
        service.setTranscoders(c.transcoders);
        if (c.forbidden) {
            service.setOverride("PUT", storagePath + c.forbidden + "/",
                                Override::reply(403, R"({"errors":["Not allowed."]})"));
        }
        auto [list, message] = run<OrvaneTranscoderResponse>(
            [&](auto done) { OrvaneRequests::getTranscoders(credentials, done); });
        ASSERT_TRUE(list) << message;
        service.clearJournal();
        platform.log->clear();

        EXPECT_EQ(runFlag([&](auto done) {
                      OrvaneRequests::setupDefaultLocalTranscoders(list, "storage-media",
                                                                   credentials, done);
                  }),
                  c.result);
        std::vector<std::string> sent;
        for (const auto& put : puts()) {
            sent.push_back(put.path);
            EXPECT_EQ(put.header("Auth-Token"), credentials.token);
            EXPECT_EQ(put.body, "");
            EXPECT_FALSE(put.header("Content-Type"));
        }
        std::vector<std::string> expected;
        for (const auto& id : c.sent) expected.push_back(storagePath + id + "/");
        EXPECT_EQ(sent, expected);
        EXPECT_TRUE(
            platform.log->contains("setupDefaultLocalTranscoders, got transcoderResponse: true"));
        for (const auto& id : c.sent) {
            const bool ok = !c.forbidden || id != c.forbidden;
            EXPECT_TRUE(platform.log->contains("Adding transcoder " + id +
                                               " to storage storage-media, success: " +
                                               (ok ? "true" : "false")))
                << id;
        }
    }
}

// Both fail before anything is sent, so the completion runs within the call.
TEST_F(Operations, AChainWithoutAListOrAUsableStorageIdSendsNothing) {
    std::optional<bool> result;
    OrvaneRequests::setupDefaultLocalTranscoders(std::nullopt, "storage-media", credentials,
                                                 [&](bool ok) { result = ok; });
    EXPECT_EQ(result, false);
    EXPECT_TRUE(platform.log->contains("setupDefaultLocalTranscoders, got transcoderResponse: false"));

    const OrvaneTranscoderResponse list{{{"F1", "f", "FFMPEG", OrvaneTranscoderSettings{true}},
                                         {"I1", "i", "IMAGEMAGICK", OrvaneTranscoderSettings{true}}}};
    result.reset();
    OrvaneRequests::setupDefaultLocalTranscoders(list, "bad id", credentials,
                                                 [&](bool ok) { result = ok; });
    EXPECT_EQ(result, false);
    EXPECT_TRUE(puts().empty());
}

// Which storages the page holds is the service's business; the client asks for one page only
// and keeps its order.
TEST_F(Operations, ListsOnlyTheFirstHundredFileStoragesByName) {
    for (int i = 0; i < 105; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "S%03d", 104 - i);
        service.addStorage({{"id", "bulk-" + std::to_string(i)}, {"name", name}, {"method", "FILE"},
                            {"settings", {{"mount_point", "/m"}}}});
    }
    auto [storages, message] = run<std::vector<OrvaneStorage>>(
        [&](auto done) { OrvaneRequests::getStorages(credentials, done); });
    ASSERT_TRUE(storages) << message;
    ASSERT_EQ(storages->size(), 100u);
    EXPECT_EQ(storages->front().name, "Archive");
    EXPECT_TRUE(std::is_sorted(storages->begin(), storages->end(),
                               [](auto& a, auto& b) { return a.name < b.name; }));
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].target, "/API/files/v1/storages/?sort=name,asc&method=FILE&per_page=100");
}

TEST_F(Operations, CreatesThenUpdatesAStorageWithOnlyNameAndMountPoint) {
    auto [created, m1] = run<OrvaneStorage>([&](auto done) {
        OrvaneRequests::createOrUpdateStorage("New", "/srv/new", std::nullopt, credentials, done);
    });
    ASSERT_TRUE(created) << m1;
    EXPECT_EQ(created->settings.mount_point, "/srv/new");
    auto [updated, m2] = run<OrvaneStorage>([&](auto done) {
        OrvaneRequests::createOrUpdateStorage("Renamed", "/srv/other", created->id, credentials, done);
    });
    ASSERT_TRUE(updated) << m2;
    EXPECT_EQ(updated->name, "Renamed");
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].method, "POST");
    EXPECT_EQ(json::parse(journal[0].body)["settings"].size(), 18u);
    EXPECT_EQ(journal[1].method, "PATCH");
    EXPECT_EQ(journal[1].path, "/API/files/v1/storages/" + created->id + "/");
    EXPECT_EQ(json::parse(journal[1].body),
              json::parse(R"({"name":"Renamed","settings":{"mount_point":"/srv/other"}})"));
    // The service kept the settings the update did not name.
    auto state = service.state();  // storage() points into this copy
    auto kept = state.storage(created->id);
    ASSERT_TRUE(kept);
    EXPECT_EQ((*kept)["settings"]["scan_interval_seconds"], 5);
}

TEST_F(Operations, DeletingReportsAndLogsTheSuccessFlag) {
    for (const bool expected : {true, false}) {
        EXPECT_EQ(runFlag([&](auto done) {
                      OrvaneRequests::deleteStorage("storage-archive", credentials, done);
                  }),
                  expected);
        EXPECT_TRUE(platform.log->contains(std::string("DELETE of storage storage-archive, success: ") +
                                           (expected ? "true" : "false")));
    }
}

TEST_F(Operations, AnApplicationAndItsTokenWorkForTheirUserOnly) {
    auto [user, m1] = run<OrvaneUser>(
        [&](auto done) { OrvaneRequests::getCurrentUser(credentials, done); });
    ASSERT_TRUE(user) << m1;
    auto [app, m2] = run<OrvaneApplication>([&](auto done) {
        OrvaneRequests::createApplication("Media", user->id, credentials, done);
    });
    ASSERT_TRUE(app) << m2;
    EXPECT_EQ(app->default_user_id, user->id);
    auto [token, m3] = run<OrvaneCredentials>(
        [&](auto done) { OrvaneRequests::createToken(app->id, credentials, done); });
    ASSERT_TRUE(token) << m3;
    EXPECT_EQ(token->app_id, app->id);

    auto standard = service.issueCredentials("STANDARD");
    auto [other, message] = run<OrvaneApplication>([&](auto done) {
        OrvaneRequests::getApplication(
            app->id, OrvaneCredentials{standard["app_id"], standard["token"]}, done);
    });
    EXPECT_FALSE(other);
    EXPECT_EQ(message, "No such application. (HTTP 404)");
}

TEST_F(Operations, OpensTheStorageSettingsPageWithoutATrailingSlash) {
    EXPECT_TRUE(OrvaneRequests::openStorageSettings("storage-media"));
    ASSERT_EQ(workspace->openedURLs().size(), 1u);
    EXPECT_EQ(workspace->openedURLs()[0], service.baseURL() + "admin/storages/storage-media/settings");

    workspace->setAnswer(false);  // the platform's answer is not looked at
    EXPECT_TRUE(OrvaneRequests::openStorageSettings("storage-media"));

    EXPECT_FALSE(OrvaneRequests::openStorageSettings("has space"));
    setOrvaneUrl(std::nullopt);
    EXPECT_FALSE(OrvaneRequests::openStorageSettings("storage-media"));
    EXPECT_EQ(platform.log->matching("Failed to open storage settings for ").size(), 2u);
    EXPECT_TRUE(platform.log->contains(
        "Failed to open storage settings for storage-media, could not get orvane URL from config.ini"));
    EXPECT_EQ(workspace->openedURLs().size(), 2u);
}

}  // namespace
