#include "tools/dev-gateway/gateway_config.h"

#include <charconv>

#include "platform/registry.h"
#include "service/config_parser.h"
#include "service/qor_tools.h"

namespace dev_gateway {
namespace {

constexpr long kLongestSleep = 24L * 60 * 60;

std::optional<std::chrono::seconds> parseSleepTime(const std::string& text) {
    long seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (seconds < 1 || seconds > kLongestSleep) return std::nullopt;
    return std::chrono::seconds(seconds);
}

}  // namespace

std::optional<GatewayConfig> loadGatewayConfig(const std::filesystem::path& file) {
    const auto text = QorTools::readConfigText(file);
    if (!text) return std::nullopt;
    const auto refuse = [&](const std::string& why) {
        platform::log("Configuration file " + QorTools::urlText(file) + ": " + why);
        return std::nullopt;
    };
    GatewayConfig config;
    for (auto [key, field] :
         {std::pair{"app-id", &config.appId}, std::pair{"storage-id", &config.storageId},
          std::pair{"orvane-url", &config.orvaneUrl}, std::pair{"auth-token", &config.authToken}}) {
        auto value = config_parser::findValue(*text, key);
        if (!value || value->empty()) return refuse(std::string(key) + " is missing or empty");
        *field = std::move(*value);
    }
    if (const auto sleep = config_parser::findValue(*text, "sleep-time")) {
        const auto seconds = parseSleepTime(*sleep);
        if (!seconds) {
            return refuse("sleep-time must be a whole number of seconds from 1 to " +
                          std::to_string(kLongestSleep));
        }
        config.sleepTime = *seconds;
    }
    if (auto log = config_parser::findValue(*text, "log-filename"); log && !log->empty()) {
        config.logFile = platform::paths().resolve(*log);
    }
    return config;
}

std::string describe(const GatewayConfig& config) {
    return "app-id " + config.appId + ", storage-id " + config.storageId + ", orvane-url " +
           config.orvaneUrl + ", sleep-time " + std::to_string(config.sleepTime.count()) + " s";
}

}  // namespace dev_gateway
