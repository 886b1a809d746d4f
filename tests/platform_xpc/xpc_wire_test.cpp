#include "platform/linux/xpc_wire.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "helper_interface/helper_protocol.h"

namespace {

using nlohmann::json;
namespace wire = platform::linux_impl::wire;

using Frame = std::variant<json, wire::ReadError>;

std::string header(std::uint32_t n) {
    return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
            static_cast<char>(n)};
}

// A frame far larger than a socket's buffer is written and read whole in the helper tool's tests.
TEST(Wire, AWriteFailsRatherThanRaiseSigpipeOrOverflow) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ::close(fds[0]);
    EXPECT_FALSE(wire::writeFrame(fds[1], {{"id", 1}})) << "the peer is gone";
    EXPECT_FALSE(wire::writeFrame(fds[1], {{"x", std::string(wire::kMaxFrameBytes, 'x')}}));
    ::close(fds[1]);
}

TEST(Wire, BadFramesAreTold) {
    const std::pair<std::string, wire::ReadError> cases[] = {
        {"", wire::ReadError::Closed},
        {header(wire::kMaxFrameBytes + 1), wire::ReadError::TooLarge},
        {header(5) + "{nope", wire::ReadError::Malformed},
        {header(2) + "[]", wire::ReadError::Malformed},        // not an object
        {header(10) + "{\"a\"", wire::ReadError::Malformed},   // body cut short
        {std::string("\0\0", 2), wire::ReadError::Malformed},  // header cut short
    };
    for (const auto& [bytes, error] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        ASSERT_EQ(::write(pair[0], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(pair[0]);
        EXPECT_EQ(wire::readFrame(pair[1]), Frame(error));
        ::close(pair[1]);
    }
}

// A call as it comes off the wire; a null id or arguments is left out.
json message(json id, json selector, json arguments) {
    json call = {{"selector", std::move(selector)}};
    if (!id.is_null()) call["id"] = std::move(id);
    if (!arguments.is_null()) call["arguments"] = std::move(arguments);
    return call;
}

TEST(CheckCall, OnlyCallsThatMatchTheirSignaturePass) {
    const std::string version = "getVersionWithCompletion:";
    const std::string launchctl = "runQorLaunchctlWithSubcommand:completion:";
    const std::string withAuth = "runQorLaunchctlWithSubcommand:authData:completion:";
    const json none = json::array();
    struct Case {
        const char* name;
        json message;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"launchctl", message(2, launchctl, {"bootout"}), true},
        {"auth data as base64", message(3, withAuth, {"enable", "AAEC"}), true},
        {"auth data not base64", message(3, withAuth, {"enable", "A?"}), false},
        {"extra argument", message(6, launchctl, {"enable", "x"}), false},
        {"missing arguments", message(7, version, nullptr), false},
        {"arguments not a list", message(7, version, "x"), false},
        {"no id", message(nullptr, version, none), false},
        {"negative id", message(-1, version, none), false},
        {"selector not text", message(8, 1, none), false},
    };
    for (const auto& c : cases) {
        auto checked = wire::checkCall(HelperProtocol, c.message);
        EXPECT_EQ(std::holds_alternative<wire::CheckedCall>(checked), c.passes) << c.name;
    }
}

TEST(CheckCall, RepliesMatchTheirBlockAndErrorsAreNullOrComplete) {
    const auto replyOf = [](const char* selector) {
        return *platform::parseMethodEncoding(HelperProtocol.method(selector)->typeEncoding)
                    ->replyArguments();
    };
    const auto status = replyOf("runQorLaunchctlWithSubcommand:completion:");
    const auto created = replyOf("createLogDirectoryWithCompletion:");
    const json error = {{"domain", "d"}, {"code", 13}, {"description", "x"}};
    struct Case {
        const char* name;
        const std::vector<platform::TypeEncoding>& types;
        json values;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"a number", status, {0}, true},
        {"a flag is not a number", status, {true}, false},
        {"no error", created, {"created", nullptr}, true},
        {"a whole error", created, {"failed", error}, true},
        {"an error without its code", created, {"failed", {{"domain", "d"}}}, false},
        {"the message is never null", created, {nullptr, nullptr}, false},
        {"one value short", created, {"only one"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wire::valuesMatch(c.types, c.values), c.matches) << c.name;
}

}  // namespace
