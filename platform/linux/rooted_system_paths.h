#pragma once

#include <filesystem>

#include "platform/system_paths.h"

namespace platform::linux_impl {

// Resolves the system's absolute paths below a root folder, so that a sandbox or a test can
// stand in for "/".
class RootedSystemPaths : public SystemPaths {
public:
    explicit RootedSystemPaths(std::filesystem::path root) : root_(std::move(root)) {}
    // The root named by ORVANE_SYSTEM_ROOT, else "/".
    static RootedSystemPaths fromEnvironment();
    std::filesystem::path resolve(std::string_view absolutePath) const override;
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

// A job label or service name that is safe as a file name below the root: letters, digits,
// '.', '-' and '_', not starting with '.'.
bool isPlainName(std::string_view name);

}  // namespace platform::linux_impl
