#pragma once

#include <filesystem>
#include <string_view>

namespace platform {

// Maps the system's fixed absolute paths ("/Library/...", "/bin/launchctl") onto this machine.
class SystemPaths {
public:
    virtual ~SystemPaths() = default;
    virtual std::filesystem::path resolve(std::string_view absolutePath) const = 0;

protected:
    // Implementations are plain values, so they may copy; through the interface it would slice.
    SystemPaths() = default;
    SystemPaths(const SystemPaths&) = default;
    SystemPaths(SystemPaths&&) = default;
    SystemPaths& operator=(const SystemPaths&) = default;
    SystemPaths& operator=(SystemPaths&&) = default;
};

}  // namespace platform
