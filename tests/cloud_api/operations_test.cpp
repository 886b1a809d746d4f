#include <gtest/gtest.h>

#include <ostream>

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

    // Runs an operation whose completion sets `done`, pumping replies until it has.
    void await(const std::function<void(std::function<void()> done)>& operation) {
        auto finished = std::make_shared<std::atomic<bool>>(false);
        operation([finished] { *finished = true; });
        ASSERT_TRUE(pump([&] { return finished->load(); }));
    }

    std::optional<OrvaneTranscoderResponse> transcoders() {
        std::optional<OrvaneTranscoderResponse> response;
        await([&](auto done) {
            OrvaneRequests::getTranscoders(credentials, [&, done](auto r, std::string) {
                response = std::move(r);
                done();
            });
        });
        return response;
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

struct ChainCase {
    const char* name;
    std::vector<json> transcoders;
    const char* forbidden;  // a transcoder whose PUT answers 403, or nullptr
    std::vector<std::string> sent;
    bool result;
};

// Shown by the test runner instead of the case's bytes.
void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.name; }

class TranscoderChains : public Operations, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(TranscoderChains, AddTheFirstLocalOfEachEngineLastTakenFirst) {
    const auto& c = GetParam();
    service.setTranscoders(c.transcoders);
    if (c.forbidden) {
        service.setOverride("PUT",
                            "/API/files/v1/storages/storage-media/transcoders/" +
                                std::string(c.forbidden) + "/",
                            Override::reply(403, R"({"errors":["Not allowed."]})"));
    }
    auto list = transcoders();
    ASSERT_TRUE(list);
    service.clearJournal();

    std::optional<bool> result;
    await([&](auto done) {
        OrvaneRequests::setupDefaultLocalTranscoders(list, "storage-media", credentials,
                                                     [&, done](bool ok) {
                                                         result = ok;
                                                         done();
                                                     });
    });
    EXPECT_EQ(result, c.result);
    std::vector<std::string> sent;
    for (const auto& put : puts()) {
        sent.push_back(put.path);
        EXPECT_EQ(put.header("Auth-Token"), credentials.token);
        EXPECT_EQ(put.body, "");
        EXPECT_FALSE(put.header("Content-Type"));
    }
    std::vector<std::string> expected;
    for (const auto& id : c.sent) {
        expected.push_back("/API/files/v1/storages/storage-media/transcoders/" + id + "/");
    }
    EXPECT_EQ(sent, expected);
    EXPECT_TRUE(platform.log->contains("setupDefaultLocalTranscoders, got transcoderResponse: true"));
    for (const auto& id : c.sent) {
        const bool ok = !c.forbidden || id != c.forbidden;
        EXPECT_TRUE(platform.log->contains("Adding transcoder " + id + " to storage storage-media, success: " +
                                           (ok ? "true" : "false")))
            << id;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TranscoderChains,
    ::testing::Values(
        ChainCase{"ImageMagickThenTwoFfmpeg",
                  {transcoder("I1", "IMAGEMAGICK", true), transcoder("F1", "FFMPEG", true),
                   transcoder("F2", "FFMPEG", true)},
                  nullptr,
                  {"F1", "I1"},
                  true},
        ChainCase{"OnlyOneLocalFfmpeg",
                  {transcoder("F1", "FFMPEG", true), transcoder("X", "ffmpeg", true)},
                  nullptr,
                  {"F1"},
                  false},
        ChainCase{"FfmpegNotLocal",
                  {transcoder("F1", "FFMPEG", false), transcoder("F2", "FFMPEG", std::nullopt),
                   transcoder("I1", "IMAGEMAGICK", true)},
                  nullptr,
                  {"I1"},
                  false},
        ChainCase{"OneAnswersForbidden",
                  {transcoder("F1", "FFMPEG", true), transcoder("I1", "IMAGEMAGICK", true)},
                  "I1",
                  {"I1", "F1"},
                  false},
        ChainCase{"NothingLocal", {transcoder("F1", "FFMPEG", false)}, nullptr, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Operations, WithoutATranscoderListNothingIsSent) {
    std::optional<bool> result;
    OrvaneRequests::setupDefaultLocalTranscoders(std::nullopt, "storage-media", credentials,
                                                 [&](bool ok) { result = ok; });
    EXPECT_EQ(result, false);
    EXPECT_TRUE(platform.log->contains("setupDefaultLocalTranscoders, got transcoderResponse: false"));
    EXPECT_TRUE(puts().empty());
}

TEST_F(Operations, AStorageIdThatMakesNoUrlFailsTheChainWithoutSending) {
    const OrvaneTranscoderResponse list{{{"F1", "f", "FFMPEG", OrvaneTranscoderSettings{true}},
                                         {"I1", "i", "IMAGEMAGICK", OrvaneTranscoderSettings{true}}}};
    std::optional<bool> result;
    OrvaneRequests::setupDefaultLocalTranscoders(list, "bad id", credentials,
                                                 [&](bool ok) { result = ok; });
    EXPECT_EQ(result, false);
    EXPECT_TRUE(puts().empty());
}

TEST_F(Operations, ListsOnlyTheFirstHundredFileStoragesByName) {
    for (int i = 0; i < 105; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "S%03d", 104 - i);
        service.addStorage({{"id", "bulk-" + std::to_string(i)}, {"name", name}, {"method", "FILE"},
                            {"settings", {{"mount_point", "/m"}}}});
    }
    std::optional<std::vector<OrvaneStorage>> storages;
    await([&](auto done) {
        OrvaneRequests::getStorages(credentials, [&, done](auto list, std::string) {
            storages = std::move(list);
            done();
        });
    });
    ASSERT_TRUE(storages);
    ASSERT_EQ(storages->size(), 100u);
    EXPECT_EQ(storages->front().name, "Archive");
    EXPECT_TRUE(std::is_sorted(storages->begin(), storages->end(),
                               [](auto& a, auto& b) { return a.name < b.name; }));
    for (const auto& s : *storages) EXPECT_NE(s.id, "storage-bucket");
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].target, "/API/files/v1/storages/?sort=name,asc&method=FILE&per_page=100");
}

TEST_F(Operations, CreatesThenUpdatesAStorageWithOnlyNameAndMountPoint) {
    std::optional<OrvaneStorage> created;
    await([&](auto done) {
        OrvaneRequests::createOrUpdateStorage("New", "/srv/new", std::nullopt, credentials,
                                              [&, done](auto storage, std::string) {
                                                  created = std::move(storage);
                                                  done();
                                              });
    });
    ASSERT_TRUE(created);
    EXPECT_EQ(created->settings.mount_point, "/srv/new");
    std::optional<OrvaneStorage> updated;
    await([&](auto done) {
        OrvaneRequests::createOrUpdateStorage("Renamed", "/srv/other", created->id, credentials,
                                              [&, done](auto storage, std::string) {
                                                  updated = std::move(storage);
                                                  done();
                                              });
    });
    ASSERT_TRUE(updated);
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
    auto state = service.state();
    auto kept = state.storage(created->id);
    ASSERT_TRUE(kept);
    EXPECT_EQ((*kept)["settings"]["scan_interval_seconds"], 5);
}

TEST_F(Operations, DeletingReportsAndLogsTheSuccessFlag) {
    std::vector<bool> results;
    for (int i = 0; i < 2; ++i) {
        await([&](auto done) {
            OrvaneRequests::deleteStorage("storage-archive", credentials, [&, done](bool ok) {
                results.push_back(ok);
                done();
            });
        });
    }
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
    EXPECT_TRUE(platform.log->contains("DELETE of storage storage-archive, success: true"));
    EXPECT_TRUE(platform.log->contains("DELETE of storage storage-archive, success: false"));
}

TEST_F(Operations, AnApplicationAndItsTokenWorkForTheirUserOnly) {
    std::optional<OrvaneUser> user;
    await([&](auto done) {
        OrvaneRequests::getCurrentUser(credentials, [&, done](auto u, std::string) {
            user = std::move(u);
            done();
        });
    });
    ASSERT_TRUE(user);
    std::optional<OrvaneApplication> app;
    await([&](auto done) {
        OrvaneRequests::createApplication("Media", user->id, credentials, [&, done](auto a, std::string) {
            app = std::move(a);
            done();
        });
    });
    ASSERT_TRUE(app);
    EXPECT_EQ(app->default_user_id, user->id);
    std::optional<OrvaneCredentials> token;
    await([&](auto done) {
        OrvaneRequests::createToken(app->id, credentials, [&, done](auto t, std::string) {
            token = std::move(t);
            done();
        });
    });
    ASSERT_TRUE(token);
    EXPECT_EQ(token->app_id, app->id);

    auto standard = service.issueCredentials("STANDARD");
    std::string message;
    await([&](auto done) {
        OrvaneRequests::getApplication(app->id, OrvaneCredentials{standard["app_id"], standard["token"]},
                                       [&, done](auto a, std::string m) {
                                           EXPECT_FALSE(a);
                                           message = m;
                                           done();
                                       });
    });
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
