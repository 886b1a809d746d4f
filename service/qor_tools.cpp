#include "service/qor_tools.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/outside_text.h"
#include "platform/registry.h"
#include "platform/translation.h"
#include "service/config_parser.h"

namespace {

constexpr std::string_view kBaseDirectory =
    "/Library/Application Support/Velmora/OrvaneStorageGateway/";
constexpr std::string_view kBackupFolder =
    "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups/";
constexpr std::string_view kGatewayLog = "/Library/Logs/Velmora/OrvaneStorageGateway/default.log";
constexpr std::string_view kImageMagickConfig =
    "/Library/Application Support/Velmora/OrvaneStorageGateway/image_magick_config";
constexpr std::string_view kHttpsOnly = "https://";
constexpr std::string_view kForbiddenDirs =
    "/;//;/System/*;/etc/*;/dev/*;/cores/*;/bin/*;/sbin/*;/usr/*;/boot/*;/lib/*;/proc/*;/root/*;"
    "/run/*;/sys/*";

constexpr std::string_view kLaunchctl = "/bin/launchctl";
constexpr std::string_view kInactiveMarker = "active count = 0";
// Lines of launchctl's answer for a failed gateway that say why, and the sentence each value is
// told in (a person reads it in an alert); the last one's value is the gateway's own words.
constexpr std::array<std::pair<std::string_view, const char*>, 3> kFailureLines = {{
    {"\tlast result = ", QT_TRANSLATE_NOOP("Alert", "The gateway's unit ended with result %1")},
    {"\tlast exit code = ", QT_TRANSLATE_NOOP("Alert", "Its program's exit status: %1")},
    {"\tlast status = ", nullptr},
}};
// One line of the gateway's, however long, stays readable in an alert.
constexpr std::size_t kFailureLineBytes = 300;

// "10 seconds", or "250 ms" for a bound that is not whole seconds.
std::string durationText(std::chrono::milliseconds d) {
    if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " seconds";
    return std::to_string(d.count()) + " ms";
}

bool hasLineBreak(std::string_view value) {
    return value.find_first_of("\r\n") != std::string_view::npos;
}

std::string configText(const std::string& appId, const std::string& storageId,
                       const std::string& url, const std::string& token) {
    std::string text;
    text += "[main]\n";
    text += "\n";
    text += "app-id = " + appId + "\n";
    text += "storage-id = " + storageId + "\n";
    text += "orvane-url = " + url + "\n";
    text += "auth-token = " + token + "\n";
    text += "sleep-time = 5\n";
    text += "max-transcoding-jobs = 2\n";
    // The gateway reads these paths, so they are where this system keeps the files.
    text += "log-filename = " + platform::paths().resolve(kGatewayLog).string() + "\n";
    text +=
        "image_magick_config = " + platform::paths().resolve(kImageMagickConfig).string() + "\n";
    text += "forbidden-dirs = " + std::string(kForbiddenDirs) + "\n";
    return text;
}

}  // namespace

std::filesystem::path QorTools::baseDirectoryURL() {
    return platform::paths().resolve(kBaseDirectory);
}

std::filesystem::path QorTools::configFileURL() { return baseDirectoryURL() / "config.ini"; }

std::filesystem::path QorTools::backupDirectoryURL() {
    return platform::paths().resolve(kBackupFolder);
}

std::string QorTools::urlText(const std::filesystem::path& url) { return "file://" + url.string(); }

std::optional<std::string> QorTools::readConfigText(const std::filesystem::path& url) {
    auto contents = platform::files().readFile(url);
    if (auto* error = std::get_if<platform::FileError>(&contents)) {
        platform::log("Could not open configuration file " + urlText(url) + ": " +
                      error->description);
        return std::nullopt;
    }
    const std::string& bytes = std::get<std::string>(contents);
    if (!config_parser::isValidUtf8(bytes)) {
        platform::log("Could not open configuration file " + urlText(url) +
                      ": the file is not valid UTF-8 text");
        return std::nullopt;
    }
    return std::string(config_parser::skipByteOrderMark(bytes));
}

std::optional<std::string> QorTools::getConfigValue(const std::string& name,
                                                    const std::filesystem::path& url) {
    const auto text = readConfigText(url);
    if (!text) return std::nullopt;
    return config_parser::findValue(*text, name);
}

std::optional<std::string> QorTools::getAppId() {
    return getConfigValue("app-id", configFileURL());
}

std::optional<std::string> QorTools::getAuthToken() {
    return getConfigValue("auth-token", configFileURL());
}

std::optional<std::string> QorTools::getStorageId() {
    return getConfigValue("storage-id", configFileURL());
}

std::optional<std::string> QorTools::getOrvaneUrl() {
    auto url = getConfigValue("orvane-url", configFileURL());
    if (!url) return std::nullopt;
    if (!url->empty() && url->back() == '/') return url;
    return *url + "/";
}

bool QorTools::isConfigured() {
    using Getter = std::optional<std::string> (*)();
    for (Getter getter : {&getAppId, &getAuthToken, &getStorageId, &getOrvaneUrl}) {
        auto value = getter();
        if (!value || value->empty()) return false;
    }
    return getOrvaneUrl() != std::string(kHttpsOnly);
}

std::filesystem::path QorTools::backupFileURL() {
    const platform::LocalDateTime t = platform::clock().nowLocal();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d_%02d-%02d-%02d-%04ld", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.nanosecond / 100000);
    return backupDirectoryURL() / ("config.ini.bak_" + std::string(stamp));
}

bool QorTools::backupConfigFile() {
    const auto backup = backupFileURL();
    auto error = platform::files().createDirectories(backup.parent_path());
    if (!error) error = platform::files().copyFileExclusive(configFileURL(), backup);
    if (error) {
        platform::log("Failed to make a backup of configuration file to " + urlText(backup) + ": " +
                      error->description);
        return false;
    }
    return true;
}

bool QorTools::writeNewConfig(const std::string& appId, const std::string& storageId,
                              const std::optional<std::string>& url, const std::string& token) {
    std::optional<std::string> orvaneUrl = url ? url : getOrvaneUrl();
    if (!orvaneUrl) {
        platform::log("Failed to get orvane URL from config.ini");
        return false;
    }
    // Written verbatim, a line break would add keys of its own to the gateway's configuration.
    for (std::string_view value : {std::string_view(appId), std::string_view(storageId),
                                   std::string_view(*orvaneUrl), std::string_view(token)}) {
        if (hasLineBreak(value)) {
            platform::log("writeNewConfig, refusing to write a value that contains a line break");
            return false;
        }
    }
    const auto file = configFileURL();
    if (auto error =
            platform::files().replaceFile(file, configText(appId, storageId, *orvaneUrl, token))) {
        platform::log("Could not write temporary configuration file to " + urlText(file) + ": " +
                      error->description);
        return false;
    }
    return true;
}

QorStatus QorTools::getStatus(std::chrono::milliseconds timeout) {
    const auto result =
        platform::processes().run(platform::paths().resolve(kLaunchctl).string(),
                                  {"print", std::string("system/") + kServiceLabel}, timeout);
    if (result.startError) {
        platform::log("Failed to execute launchctl: " + *result.startError);
        return QorStatus::Unknown;
    }
    if (result.timedOut) {
        platform::log("launchctl did not exit within " + durationText(timeout) + " and was killed");
        return QorStatus::Unknown;
    }
    const std::string output =
        config_parser::isValidUtf8(result.output) ? result.output : "Could not parse output";
    if (result.status == 0) {
        if (output.find(kInactiveMarker) != std::string::npos) {
            platform::log(
                "launchctl command ok, but service not running - 'active count = 0' found");
            return QorStatus::Failed;
        }
        return QorStatus::Running;
    }
    platform::log("launchctl non-zero status: " + std::to_string(result.status) +
                  " output: " + output);
    return QorStatus::Stopped;
}

std::string QorTools::getFailureReason(std::chrono::milliseconds timeout) {
    const auto result =
        platform::processes().run(platform::paths().resolve(kLaunchctl).string(),
                                  {"print", std::string("system/") + kServiceLabel}, timeout);
    if (result.startError || result.timedOut || result.status != 0 ||
        result.output.find(kInactiveMarker) == std::string::npos) {
        return "";
    }
    std::string reason;
    for (const auto& [prefix, told] : kFailureLines) {
        const auto at = result.output.find(prefix);
        if (at == std::string::npos) continue;
        const auto begin = at + prefix.size();
        const auto end = result.output.find('\n', begin);
        const std::string_view value(
            result.output.data() + begin,
            (end == std::string::npos ? result.output.size() : end) - begin);
        if (value.empty()) continue;
        if (!reason.empty()) reason += '\n';
        const auto shown = platform::escapedText(value, kFailureLineBytes);
        reason +=
            told ? platform::fillPlaceholders(platform::translate("Alert", told), {shown}) : shown;
    }
    return reason;
}
