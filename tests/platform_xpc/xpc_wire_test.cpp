#include "platform/linux/xpc_wire.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "helper_interface/helper_protocol.h"

namespace {

using nlohmann::json;
namespace wire = platform::linux_impl::wire;

class SocketPair : public ::testing::Test {
protected:
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
    ~SocketPair() override {
        for (int fd : fds) {
            if (fd >= 0) ::close(fd);
        }
    }
    static std::string header(std::uint32_t n) {
        return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                static_cast<char>(n)};
    }
    int fds[2] = {-1, -1};
};

TEST_F(SocketPair, FramesRoundTripInOrderEvenWhenLargerThanTheSocketBuffer) {
    const json big = {{"id", 2}, {"reply", {std::string(600 * 1024, 'x')}}};
    std::thread writer([&] {
        EXPECT_TRUE(wire::writeFrame(fds[0], {{"id", 1}, {"selector", "a"}}));
        EXPECT_TRUE(wire::writeFrame(fds[0], big));
    });
    auto first = wire::readFrame(fds[1]);
    auto second = wire::readFrame(fds[1]);
    writer.join();
    ASSERT_TRUE(std::holds_alternative<json>(first));
    EXPECT_EQ(std::get<json>(first)["selector"], "a");
    ASSERT_TRUE(std::holds_alternative<json>(second));
    EXPECT_EQ(std::get<json>(second), big);
}

TEST_F(SocketPair, BadFramesAreTold) {
    struct Case {
        const char* name;
        std::string bytes;
        wire::ReadError error;
    };
    const std::vector<Case> cases = {
        {"over the limit", header(wire::kMaxFrameBytes + 1), wire::ReadError::TooLarge},
        {"not json", header(5) + "{nope", wire::ReadError::Malformed},
        {"not an object", header(2) + "[]", wire::ReadError::Malformed},
        {"body cut short", header(10) + "{\"a\"", wire::ReadError::Malformed},
        {"header cut short", std::string("\0\0", 2), wire::ReadError::Malformed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        ASSERT_EQ(::write(pair[0], c.bytes.data(), c.bytes.size()), static_cast<ssize_t>(c.bytes.size()));
        ::close(pair[0]);
        auto result = wire::readFrame(pair[1]);
        ::close(pair[1]);
        ASSERT_TRUE(std::holds_alternative<wire::ReadError>(result));
        EXPECT_EQ(std::get<wire::ReadError>(result), c.error);
    }
    ::close(fds[0]);
    fds[0] = -1;
    auto closed = wire::readFrame(fds[1]);
    ASSERT_TRUE(std::holds_alternative<wire::ReadError>(closed));
    EXPECT_EQ(std::get<wire::ReadError>(closed), wire::ReadError::Closed);
    EXPECT_FALSE(wire::writeFrame(fds[1], {{"id", 1}})) << "the peer is gone, and no SIGPIPE";
    EXPECT_FALSE(wire::writeFrame(fds[1], {{"x", std::string(wire::kMaxFrameBytes, 'x')}}));
}

TEST(CheckCall, OnlyCallsThatMatchTheirSignaturePass) {
    struct Case {
        const char* name;
        json message;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"version", {{"id", 1}, {"selector", "getVersionWithCompletion:"}, {"arguments", json::array()}}, true},
        {"launchctl", {{"id", 2}, {"selector", "runQorLaunchctlWithSubcommand:completion:"}, {"arguments", {"bootout"}}}, true},
        {"auth data as base64",
         {{"id", 3}, {"selector", "runQorLaunchctlWithSubcommand:authData:completion:"}, {"arguments", {"enable", "AAEC"}}}, true},
        {"auth data not base64",
         {{"id", 3}, {"selector", "runQorLaunchctlWithSubcommand:authData:completion:"}, {"arguments", {"enable", "A?"}}}, false},
        {"unknown selector", {{"id", 4}, {"selector", "runShell:"}, {"arguments", {"ls"}}}, false},
        {"app selector sent to the helper", {{"id", 4}, {"selector", "logWithStdOut:"}, {"arguments", {"x"}}}, false},
        {"number for a string", {{"id", 5}, {"selector", "runQorLaunchctlWithSubcommand:completion:"}, {"arguments", {7}}}, false},
        {"null for a string", {{"id", 5}, {"selector", "runQorLaunchctlWithSubcommand:completion:"}, {"arguments", {nullptr}}}, false},
        {"extra argument", {{"id", 6}, {"selector", "runQorLaunchctlWithSubcommand:completion:"}, {"arguments", {"enable", "x"}}}, false},
        {"missing arguments", {{"id", 7}, {"selector", "getVersionWithCompletion:"}}, false},
        {"arguments not a list", {{"id", 7}, {"selector", "getVersionWithCompletion:"}, {"arguments", "x"}}, false},
        {"no id", {{"selector", "getVersionWithCompletion:"}, {"arguments", json::array()}}, false},
        {"negative id", {{"id", -1}, {"selector", "getVersionWithCompletion:"}, {"arguments", json::array()}}, false},
        {"selector not text", {{"id", 8}, {"selector", 1}, {"arguments", json::array()}}, false},
    };
    for (const auto& c : cases) {
        auto checked = wire::checkCall(HelperProtocol, c.message);
        EXPECT_EQ(std::holds_alternative<wire::CheckedCall>(checked), c.passes) << c.name;
    }
    auto ok = wire::checkCall(HelperProtocol, cases[1].message);
    ASSERT_TRUE(std::holds_alternative<wire::CheckedCall>(ok));
    EXPECT_EQ(std::get<wire::CheckedCall>(ok).id, 2u);
    const auto* reply = std::get<wire::CheckedCall>(ok).signature.replyArguments();
    ASSERT_NE(reply, nullptr);
    EXPECT_TRUE(wire::valuesMatch(*reply, json{0}));
    EXPECT_FALSE(wire::valuesMatch(*reply, json{true})) << "a flag is not a number";
}

TEST(CheckCall, ErrorsInRepliesAreNullOrComplete) {
    auto signature = platform::parseMethodEncoding(HelperProtocol.method("createLogDirectoryWithCompletion:")->typeEncoding);
    ASSERT_TRUE(signature);
    const auto& reply = *signature->replyArguments();
    EXPECT_TRUE(wire::valuesMatch(reply, json{"created", nullptr}));
    EXPECT_TRUE(wire::valuesMatch(reply, json{"failed", {{"domain", "d"}, {"code", 13}, {"description", "x"}}}));
    EXPECT_FALSE(wire::valuesMatch(reply, json{"failed", {{"domain", "d"}}}));
    EXPECT_FALSE(wire::valuesMatch(reply, json{nullptr, nullptr})) << "the message is never null";
    EXPECT_FALSE(wire::valuesMatch(reply, json{"only one"}));
}

}  // namespace
