#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "cloud_api/orvane_requests.h"
#include "platform/linux/curl_url_session.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/workspace_recording.h"
#include "tools/dev-service/dev_service.h"

// A test platform whose URL session is the real libcurl one, talking to the development service
// on a loopback port. Replies arrive on the session's queue of the virtual dispatch; pump() runs
// them as they come in.
class CloudLoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.start());
        startSession({});
        platform.services.workspace = workspace;
        platform.reinstall();
        setOrvaneUrl(service.baseURL());
    }

    // The session goes first: its idle keep-alive connections would otherwise hold the server's
    // stop for the server's whole keep-alive time-out.
    void TearDown() override {
        closeSession();
        service.stop();
    }

    void closeSession() {
        platform.services.urlSession.reset();
        platform.reinstall();
        session.reset();
    }

    // Replies on `queue`, by default the virtual dispatch's "url-session".
    void startSession(platform::linux_impl::CurlUrlSession::Options options,
                      std::shared_ptr<platform::Queue> queue = nullptr) {
        closeSession();
        session = std::make_shared<platform::linux_impl::CurlUrlSession>(
            queue ? std::move(queue) : platform.dispatch->makeSerialQueue("url-session"), options);
        platform.services.urlSession = session;
        platform.reinstall();
    }

    void setOrvaneUrl(const std::optional<std::string>& url) {
        std::string text = "app-id = A\n";
        if (url) text += "orvane-url = " + *url + "\n";
        platform.writeConfig(text);
    }

    bool pump(const std::function<bool()>& done) { return platform.dispatch->pumpUntil(done); }

    // What an operation's completion got.
    template <class Record>
    using Got = std::pair<std::optional<Record>, std::string>;

    // Runs an operation, pumping replies until its completion has run; returns what it got and
    // notes the queue it ran on.
    template <class Record>
    Got<Record> run(
        const std::function<void(OrvaneRequests::RecordCompletion<Record>)>& operation) {
        auto got = std::make_shared<std::optional<Got<Record>>>();
        operation([this, got](std::optional<Record> record, std::string message) {
            got->emplace(std::move(record), std::move(message));
            completionQueue = platform.dispatch->currentQueue();
        });
        EXPECT_TRUE(pump([&] { return got->has_value(); }));
        return got->value_or(Got<Record>{});
    }

    template <class Record>
    Got<Record> request(const std::string& path, const std::string& method,
                        const std::optional<nlohmann::json>& body = std::nullopt,
                        const std::optional<OrvaneCredentials>& credentials = std::nullopt) {
        return run<Record>([&](auto done) {
            OrvaneRequests::doOrvaneJSONRequest<Record>(path, method, body, credentials, done);
        });
    }

    OrvaneCredentials powerCredentials() {
        auto json = service.issueCredentials("POWER");
        return {json["app_id"], json["token"]};
    }

    platform::testing::TestPlatform platform;
    orvane_dev::DevService service;
    std::shared_ptr<platform::linux_impl::CurlUrlSession> session;
    std::shared_ptr<platform::testing::RecordingWorkspace> workspace =
        std::make_shared<platform::testing::RecordingWorkspace>();
    std::string completionQueue;
};
