#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/xpc_connection.h"

// Typed sides of the helper connection: what the app calls on the helper, what the helper
// serves, and what the helper calls back on the app.

// HelperProtocol's messages through a remote proxy. Each completion runs at most once, on the
// connection's queue; when the request fails the proxy's error handler runs instead.
class HelperProtocolProxy {
public:
    explicit HelperProtocolProxy(std::shared_ptr<platform::XpcRemoteProxy> proxy)
        : proxy_(std::move(proxy)) {}

    void getVersionWithCompletion(std::function<void(const std::string& version)> completion);
    void runQorLaunchctlWithSubcommand(const std::string& subcommand,
                                       std::function<void(std::int64_t exitCode)> completion);
    void createLogDirectoryWithCompletion(
        std::function<void(const std::string& message, std::optional<platform::XpcError> error)>
            completion);

private:
    std::shared_ptr<platform::XpcRemoteProxy> proxy_;
};

// What serves HelperProtocol for one client, behind the helper's dispatcher: the helper tool's
// requests, or a stand-in in tests. Each reply is called once, from any thread.
class HelperProtocolHandler {
public:
    HelperProtocolHandler() = default;
    HelperProtocolHandler(const HelperProtocolHandler&) = delete;
    HelperProtocolHandler& operator=(const HelperProtocolHandler&) = delete;
    virtual ~HelperProtocolHandler() = default;
    virtual void getVersionWithCompletion(std::function<void(std::string)> reply) = 0;
    virtual void runQorLaunchctlWithSubcommand(const std::string& subcommand,
                                               std::function<void(std::int64_t)> reply) = 0;
    virtual void createLogDirectoryWithCompletion(
        std::function<void(std::string, std::optional<platform::XpcError>)> reply) = 0;
};

// AppProtocol: the helper's output while it works, one way.
class AppProtocolHandler {
public:
    AppProtocolHandler() = default;
    AppProtocolHandler(const AppProtocolHandler&) = delete;
    AppProtocolHandler& operator=(const AppProtocolHandler&) = delete;
    virtual ~AppProtocolHandler() = default;
    virtual void logWithStdOut(const std::string& text) = 0;
    virtual void logWithStdErr(const std::string& text) = 0;
};

// The exported object that hands the helper's checked calls to the app's handler, which is kept
// alive by the connection that exports it.
std::shared_ptr<platform::XpcExportedObject> exportAppProtocol(
    std::shared_ptr<AppProtocolHandler> handler);
