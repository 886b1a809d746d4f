#include "platform/linux/rooted_system_paths.h"

#include <cstdlib>
#include <optional>

namespace platform::linux_impl {

namespace {

// Where a Linux system keeps what the logic names by its macOS path. Longer prefixes come first,
// since the gateway's data folder lies inside its configuration folder there but not here.
constexpr SystemPathMapping kLinuxLayout[] = {
    {"/Library/Application Support/Velmora/OrvaneStorageGateway/Data",
     "/var/lib/orvane-storage-gateway"},
    {"/Library/Application Support/Velmora/OrvaneStorageGateway", "/etc/orvane-storage-gateway"},
    {"/Library/Logs/Velmora/OrvaneStorageGateway", "/var/log/orvane-storage-gateway"},
    {"/Library/PrivilegedHelperTools", "/usr/libexec/orvane-storage-gateway"},
    // A job's definition is its unit; the launchctl for systemd takes the label from the name.
    {"/Library/LaunchDaemons", "/lib/systemd/system"},
    {"/bin/launchctl", "/usr/libexec/orvane-storage-gateway/launchctl"},
    {"/var/db", "/var/lib/orvane-storage-gateway"},
    {"/var/run", "/run"},
};

// The rest of `path` when it is `prefix` or lies below it.
std::optional<std::string_view> below(std::string_view path, std::string_view prefix) {
    if (!path.starts_with(prefix)) return std::nullopt;
    const std::string_view rest = path.substr(prefix.size());
    if (!rest.empty() && rest.front() != '/') return std::nullopt;
    return rest;
}

}  // namespace

std::span<const SystemPathMapping> linuxLayout() { return kLinuxLayout; }

std::string linuxPath(std::string_view absolutePath) {
    for (const auto& mapping : kLinuxLayout) {
        if (const auto rest = below(absolutePath, mapping.from)) {
            return std::string(mapping.to) + std::string(*rest);
        }
    }
    return std::string(absolutePath);
}

RootedSystemPaths RootedSystemPaths::fromEnvironment() {
    const char* root = std::getenv("ORVANE_SYSTEM_ROOT");
    return RootedSystemPaths(root && *root ? root : "/");
}

std::filesystem::path RootedSystemPaths::resolve(std::string_view absolutePath) const {
    const std::string mapped = linuxPath(absolutePath);
    std::string_view relative = mapped;
    while (!relative.empty() && relative.front() == '/') relative.remove_prefix(1);
    if (relative.empty()) return root_;
    return root_ / std::filesystem::path(relative);
}

bool isPlainName(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) return false;
    }
    return true;
}

}  // namespace platform::linux_impl
