#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "service/qor_status.h"

// The gateway's config.ini, its backups, and the service status query. Type-level only; the
// paths are resolved through the platform's system root on every call.
class QorTools {
public:
    QorTools() = delete;

    static std::filesystem::path baseDirectoryURL();
    static std::filesystem::path configFileURL();
    static std::filesystem::path backupDirectoryURL();
    // How a file URL reads in log lines.
    static std::string urlText(const std::filesystem::path& url);

    // The file's text without its byte-order mark; nothing, and a log line saying why, when it
    // cannot be read or is not UTF-8. Callers that need several keys read it once.
    static std::optional<std::string> readConfigText(const std::filesystem::path& url);
    static std::optional<std::string> getConfigValue(const std::string& name,
                                                     const std::filesystem::path& url);
    static std::optional<std::string> getAppId();
    static std::optional<std::string> getAuthToken();
    static std::optional<std::string> getStorageId();
    // Ends in "/" whenever present.
    static std::optional<std::string> getOrvaneUrl();
    static bool isConfigured();

    static std::filesystem::path backupFileURL();
    static bool backupConfigFile();
    static bool writeNewConfig(const std::string& appId, const std::string& storageId,
                               const std::optional<std::string>& url, const std::string& token);

    // The gateway's job in the system domain.
    static constexpr char kServiceLabel[] = "com.velmora.OrvaneStorageGateway";

    // launchctl answers at once; one that hangs is killed after this long, so that the menu's
    // refresh on the main thread cannot freeze for ever.
    static constexpr std::chrono::milliseconds kStatusQueryTimeout{std::chrono::seconds(10)};
    static QorStatus getStatus(std::chrono::milliseconds timeout = kStatusQueryTimeout);
    // Why a gateway that failed did, as systemd kept it (its unit's result, its last status
    // line), escaped for a person to read; empty when it is not failed or nothing was kept.
    static std::string getFailureReason(std::chrono::milliseconds timeout = kStatusQueryTimeout);
};
