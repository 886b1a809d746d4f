#include <gtest/gtest.h>

#include "tests/cloud_api/cloud_loopback.h"

namespace {

using nlohmann::json;
using orvane_dev::Override;

// A transcoder of the service's list; `local` absent leaves its settings out.
json entry(const std::string& id, const std::string& type, std::optional<bool> local = true) {
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

    std::optional<bool> runFlag(
        const std::function<void(OrvaneRequests::SuccessCompletion)>& operation) {
        std::optional<bool> got;
        operation([&](bool ok) { got = ok; });
        EXPECT_TRUE(pump([&] { return got.has_value(); }));
        return got;
    }

    OrvaneCredentials credentials;
};

TEST_F(Operations, TranscoderChainsAddTheFirstLocalOfEachEngineLastTakenFirst) {
    struct Case {
        const char* name;
        std::vector<json> transcoders;
        std::vector<std::string> sent;
        bool result;
        const char* forbidden = nullptr;  // a transcoder whose PUT answers 403
        std::string storage = "storage-media";
    };
    const Case cases[] = {
        {"first of each engine",
         {entry("I1", "IMAGEMAGICK"), entry("F1", "FFMPEG"), entry("F2", "FFMPEG")},
         {"F1", "I1"},
         true},
        {"one engine only", {entry("F1", "FFMPEG"), entry("X", "ffmpeg")}, {"F1"}, false},
        {"not local",
         {entry("F1", "FFMPEG", false), entry("F2", "FFMPEG", std::nullopt),
          entry("I1", "IMAGEMAGICK")},
         {"I1"},
         false},
        {"one refused",
         {entry("F1", "FFMPEG"), entry("I1", "IMAGEMAGICK")},
         {"I1", "F1"},
         false,
         "I1"},
        {"nothing local", {entry("F1", "FFMPEG", false)}, {}, false},
        // Its URL cannot be formed, so nothing is sent for either.
        {"unusable storage id",
         {entry("F1", "FFMPEG"), entry("I1", "IMAGEMAGICK")},
         {},
         false,
         nullptr,
         "bad id"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string storagePath = "/API/files/v1/storages/" + c.storage + "/transcoders/";
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

        EXPECT_EQ(runFlag([&, &transcoders = list](auto done) {
                      OrvaneRequests::setupDefaultLocalTranscoders(transcoders, c.storage,
                                                                   credentials, done);
                  }),
                  c.result);
        std::vector<std::string> sent, expected;
        for (const auto& request : service.journal()) {
            sent.push_back(request.method + " " + request.path);
            EXPECT_EQ(request.header("Auth-Token"), credentials.token);
        }
        for (const auto& id : c.sent) expected.push_back("PUT " + storagePath + id + "/");
        EXPECT_EQ(sent, expected);
        for (const auto& id : c.sent) {
            const bool ok = !c.forbidden || id != c.forbidden;
            EXPECT_TRUE(platform.log->contains("Adding transcoder " + id + " to storage " +
                                               c.storage + ", success: " + (ok ? "true" : "false")))
                << id;
        }
    }
}

TEST_F(Operations, CreatesUpdatesWithOnlyNameAndMountPointAndDeletesAStorage) {
    auto [created, m1] = run<OrvaneStorage>([&](auto done) {
        OrvaneRequests::createOrUpdateStorage("New", "/srv/new", std::nullopt, credentials, done);
    });
    ASSERT_TRUE(created) << m1;
    const std::string id = created->id;
    auto [updated, m2] = run<OrvaneStorage>([&](auto done) {
        OrvaneRequests::createOrUpdateStorage("Renamed", "/srv/other", id, credentials, done);
    });
    ASSERT_EQ(updated, (OrvaneStorage{created->id, "Renamed", {"/srv/other"}})) << m2;
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1].method, "PATCH");
    EXPECT_EQ(journal[1].path, "/API/files/v1/storages/" + created->id + "/");
    EXPECT_EQ(json::parse(journal[1].body),
              json::parse(R"({"name":"Renamed","settings":{"mount_point":"/srv/other"}})"));
    // The service kept the settings the update did not name.
    auto state = service.state();  // storage() points into this copy
    EXPECT_EQ((*state.storage(created->id))["settings"]["scan_interval_seconds"], 5);

    // A second delete finds nothing to delete.
    for (const bool expected : {true, false}) {
        EXPECT_EQ(runFlag([&](auto done) { OrvaneRequests::deleteStorage(id, credentials, done); }),
                  expected);
        EXPECT_TRUE(platform.log->contains("DELETE of storage " + created->id +
                                           ", success: " + (expected ? "true" : "false")));
    }
}

// The page's address itself, and a missing base URL, are compared in the menu action tests.
TEST_F(Operations, OpensTheStorageSettingsPageWhateverThePlatformAnswers) {
    workspace->setAnswer(false);
    EXPECT_TRUE(OrvaneRequests::openStorageSettings("storage-media"));
    EXPECT_FALSE(OrvaneRequests::openStorageSettings("has space"));
    EXPECT_EQ(workspace->openedURLs().size(), 1u);
    EXPECT_TRUE(platform.log->contains(
        "Failed to open storage settings for has space, could not get orvane URL from config.ini"));
}

}  // namespace
