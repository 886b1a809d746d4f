#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace dev_gateway {

// What the gateway reads from config.ini.
struct GatewayConfig {
    std::string appId;
    std::string storageId;
    std::string orvaneUrl;
    std::string authToken;
    std::chrono::seconds sleepTime{60};
    // Below the system root; without one, lines go to standard output (the journal).
    std::optional<std::filesystem::path> logFile;
};

// The configuration, or nothing after one log line saying why: a file that cannot be read, a
// required key that is missing or empty, a sleep-time that is not a whole number of seconds.
// The token's value is never logged.
std::optional<GatewayConfig> loadGatewayConfig(const std::filesystem::path& file);

// How the configuration reads in the gateway's log: everything but the token.
std::string describe(const GatewayConfig& config);

}  // namespace dev_gateway
