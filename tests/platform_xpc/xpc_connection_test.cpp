// The app's connection to the helper's own dispatcher, joined in-process, in virtual time.
#include <gtest/gtest.h>

#include "helper_interface/helper_connection.h"
#include "helper_interface/helper_protocol.h"
#include "platform/testing/loopback_xpc.h"
#include "platform/testing/virtual_dispatch.h"
#include "tests/helper_tool/fake_helper.h"

namespace {

using nlohmann::json;
using platform::XpcError;
using platform::testing::LoopbackXpc;
using platform::testing::VirtualDispatch;

constexpr char kService[] = "com.velmora.QorPrivilegedHelper";

struct RecordingApp : AppProtocolHandler {
    void logWithStdOut(const std::string& text) override { lines.push_back("out " + text); }
    void logWithStdErr(const std::string& text) override { lines.push_back("err " + text); }
    std::vector<std::string> lines;
};

class XpcConnectionTest : public ::testing::Test {
protected:
    XpcConnectionTest() {
        helper->silent = true;  // the test answers launchctl itself
        helper->tells = {{false, "asked for the version\n"}, {true, "to stderr\n"}};
        registerHelper();
    }

    void registerHelper() { helper_test::serveHelper(*hub, kService, helper); }

    std::shared_ptr<platform::XpcConnection> connect() {
        auto connection = hub->connectToMachService(kService, platform::XpcConnector::kPrivileged);
        connection->setExportedInterface(AppProtocol);
        connection->setExportedObject(exportAppProtocol(app));
        connection->setRemoteInterface(HelperProtocol);
        connection->setInvalidationHandler([this] { ++invalidations; });
        connection->resume();
        return connection;
    }

    // A proxy whose errors are recorded, with the queue each one ran on.
    HelperProtocolProxy proxy(platform::XpcConnection& connection) {
        return HelperProtocolProxy(
            connection.remoteObjectProxyWithErrorHandler([this](const XpcError& error) {
                errors.push_back(error);
                queues.push_back(dispatch->currentQueue());
            }));
    }

    std::shared_ptr<VirtualDispatch> dispatch = std::make_shared<VirtualDispatch>();
    std::shared_ptr<LoopbackXpc> hub = std::make_shared<LoopbackXpc>(dispatch);
    std::shared_ptr<helper_test::FakeHelper> helper = std::make_shared<helper_test::FakeHelper>();
    std::shared_ptr<RecordingApp> app = std::make_shared<RecordingApp>();
    std::vector<XpcError> errors;
    std::vector<std::string> queues;
    int invalidations = 0;
};

TEST_F(XpcConnectionTest, RepliesAndCallbacksArriveInOrderOnTheConnectionsQueue) {
    auto connection = connect();
    proxy(*connection).getVersionWithCompletion([&](const std::string& version) {
        app->lines.push_back(version + " on " + dispatch->currentQueue());
    });
    EXPECT_TRUE(app->lines.empty()) << "nothing is delivered before time passes";
    dispatch->runUntilIdle();
    EXPECT_EQ(app->lines,
              (std::vector<std::string>{"out asked for the version\n", "err to stderr\n",
                                        "2.0.0 on " + std::string(kService) + ".connection"}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(XpcConnectionTest, CallsThatDoNotFitTheRemoteInterfaceNeverLeave) {
    auto connection = connect();
    auto raw = connection->remoteObjectProxyWithErrorHandler(
        [this](const XpcError& error) { errors.push_back(error); });
    auto count = [](platform::XpcValues) { FAIL() << "answered"; };
    raw->send(helper_selectors::runLaunchctl, json::array({7}), count);  // wrong type
    raw->send("runShell:completion:", json::array({"ls"}), count);       // not in protocol
    raw->send(helper_selectors::getVersion, json::array());              // no reply block
    raw->send(helper_selectors::logWithStdOut, json::array({"x"}));      // the other side's
    dispatch->runUntilIdle();
    ASSERT_EQ(errors.size(), 4u);
    for (const auto& error : errors) EXPECT_EQ(error.code, platform::kXpcCoderReadCorrupt);
    EXPECT_TRUE(helper->subcommands.empty());
    EXPECT_TRUE(app->lines.empty()) << "the version was asked";
}

TEST_F(XpcConnectionTest, EveryRequestGetsExactlyOneFittingAnswer) {
    // The helper's reply block is released without an answer.
    helper->version.reset();
    auto connection = connect();
    proxy(*connection).getVersionWithCompletion([](const std::string&) { FAIL(); });
    // Answered twice: the first answer wins.
    std::vector<std::int64_t> codes;
    const auto record = [&](std::int64_t code) { codes.push_back(code); };
    proxy(*connection).runQorLaunchctlWithSubcommand("bootout", record);
    dispatch->runUntilIdle();
    ASSERT_EQ(helper->held.size(), 1u);
    helper->held[0](36);
    helper->held[0](1);
    dispatch->runUntilIdle();

    // An answer of the wrong type is an error, never a bad value.
    auto answer = std::make_shared<json>();
    hub->registerService(kService, {[answer](LoopbackXpc::Send send) {
                             return [answer, send](const json& call) {
                                 send({{"id", call["id"]}, {"reply", *answer}});
                             };
                         }});
    auto other = connect();
    for (const json& values : {json::array({"0"}), json::array({7})}) {
        *answer = values;
        proxy(*other).runQorLaunchctlWithSubcommand("enable", record);
        dispatch->runUntilIdle();
    }
    EXPECT_EQ(codes, (std::vector<std::int64_t>{36, 7}));
    ASSERT_EQ(errors.size(), 2u);
    for (const auto& error : errors) EXPECT_EQ(error.code, platform::kXpcConnectionReplyInvalid);
    EXPECT_EQ(invalidations, 0);
}

TEST_F(XpcConnectionTest, AnInvalidConnectionFailsEveryCallAndTellsOnce) {
    hub = std::make_shared<LoopbackXpc>(dispatch);  // where no service is registered
    auto lost = connect();
    proxy(*lost).getVersionWithCompletion([](const std::string&) { FAIL(); });
    dispatch->runUntilIdle();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].localizedDescription, "Couldn't communicate with a helper application.");
    EXPECT_EQ(queues[0], std::string(kService) + ".connection");
    EXPECT_EQ(invalidations, 1);
    // Even with the service back, this connection stays invalid and tries nothing.
    registerHelper();
    proxy(*lost).getVersionWithCompletion([](const std::string&) { FAIL(); });
    dispatch->runUntilIdle();
    EXPECT_EQ(hub->connectionsOpened(kService), 0);

    // Invalidated by its owner: the waiting call fails too, and a late answer reaches nobody.
    auto connection = connect();
    proxy(*connection).runQorLaunchctlWithSubcommand("bootout", [](std::int64_t) { FAIL(); });
    dispatch->runUntilIdle();
    connection->invalidate();
    connection->invalidate();
    proxy(*connection).getVersionWithCompletion([](const std::string&) { FAIL(); });
    helper->held.back()(0);
    dispatch->runUntilIdle();
    ASSERT_EQ(errors.size(), 4u);
    for (const auto& error : errors) EXPECT_EQ(error.code, platform::kXpcConnectionInvalid);
    EXPECT_EQ(invalidations, 2);
}

TEST_F(XpcConnectionTest, AServiceThatDiesInterruptsWaitingCallsAndIsReachedAgain) {
    auto connection = connect();
    proxy(*connection).runQorLaunchctlWithSubcommand("bootstrap", [](std::int64_t) { FAIL(); });
    dispatch->runUntilIdle();
    ASSERT_EQ(helper->subcommands, std::vector<std::string>{"bootstrap"});
    hub->crashService(kService);
    dispatch->runUntilIdle();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, platform::kXpcConnectionInterrupted);
    EXPECT_EQ(invalidations, 0);
    // A late answer from the dead service reaches nobody.
    helper->held.back()(0);
    std::string version;
    proxy(*connection).getVersionWithCompletion([&](const std::string& v) { version = v; });
    dispatch->runUntilIdle();
    EXPECT_EQ(version, "2.0.0");
    EXPECT_EQ(hub->connectionsOpened(kService), 2);
}

}  // namespace
