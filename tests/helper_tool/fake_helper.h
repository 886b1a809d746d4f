#pragma once
// The helper's stand-in, served in process by the helper's own dispatcher: a client's connection
// reaches it through the server code that ships.
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "helper_tool/helper_dispatch.h"
#include "platform/testing/loopback_xpc.h"

namespace helper_test {

// Answers as the test sets. A subcommand kept silent holds its reply and never calls it, as a
// hung helper would.
struct FakeHelper : HelperProtocolHandler {
    void getVersionWithCompletion(std::function<void(std::string)> reply) override {
        tell();
        if (version) reply(*version);
    }
    void runQorLaunchctlWithSubcommand(const std::string& subcommand,
                                       std::function<void(std::int64_t)> reply) override {
        subcommands.push_back(subcommand);
        tell();
        const std::int64_t code = exitCodes.contains(subcommand) ? exitCodes[subcommand] : 0;
        if (code == 0 && succeeded) succeeded(subcommand);
        if (silent || subcommand == silentAt) {
            held.push_back(reply);
            return;
        }
        reply(code);
    }
    void createLogDirectoryWithCompletion(
        std::function<void(std::string, std::optional<platform::XpcError>)> reply) override {
        ++logDirectoryRequests;
        if (!logDirectoryFails) return reply("Created", std::nullopt);
        reply("Permission denied",
              platform::XpcError{"NSPOSIXErrorDomain", 13, "Permission denied", {}});
    }
    void tell() const {
        for (const auto& [error, text] : tells) {
            if (!client) break;
            error ? client->logWithStdErr(text) : client->logWithStdOut(text);
        }
    }

    // Unset: the version request is never answered (its reply is let go).
    std::optional<std::string> version = "2.0.0";
    std::map<std::string, std::int64_t> exitCodes;
    bool silent = false;
    std::string silentAt;
    bool logDirectoryFails = false;
    // Told to the client (on standard error when true) before each request is answered.
    std::vector<std::pair<bool, std::string>> tells;
    // Told of each subcommand that succeeds, before it is answered.
    std::function<void(const std::string&)> succeeded;
    // The client last connected.
    std::shared_ptr<AppProtocolHandler> client;
    std::vector<std::string> subcommands;
    std::vector<std::function<void(std::int64_t)>> held;
    int logDirectoryRequests = 0;
};

// Serves `helper` as `name` on `hub`, behind the helper's dispatcher.
inline void serveHelper(platform::testing::LoopbackXpc& hub, const std::string& name,
                        std::shared_ptr<FakeHelper> helper) {
    hub.registerService(
        name, {[helper](platform::testing::LoopbackXpc::Send send) {
            auto dispatcher = std::make_shared<HelperDispatcher>(
                ::getuid(), std::move(send), [](HelperRefusal, const std::string&) {},
                [helper](std::shared_ptr<AppProtocolHandler> client) {
                    helper->client = std::move(client);
                    return helper;
                });
            return [dispatcher](const nlohmann::json& message) { dispatcher->received(message); };
        }});
}

}  // namespace helper_test
