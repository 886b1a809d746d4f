#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "platform/system_paths.h"

namespace platform::linux_impl {

// One folder (or file) of the macOS layout the logic names, and where Linux keeps it.
struct SystemPathMapping {
    std::string_view from;
    std::string_view to;
};

// The whole table, for whoever documents or packages the layout.
std::span<const SystemPathMapping> linuxLayout();
// Where Linux keeps an absolute path of the logic; a path the table does not name is kept as is.
std::string linuxPath(std::string_view absolutePath);

// Who puts the privileged helper and its right into the system. With the real root that is the
// package manager, and the app only checks what it installed; a sandbox root has no package, so
// the app installs them itself, as it would on the system it was designed for.
enum class InstallationKind { package, sandbox };

// Resolves the system's absolute paths, mapped by the table above, below a root folder, so that
// a sandbox or a test can stand in for "/" with the same layout.
class RootedSystemPaths : public SystemPaths {
public:
    explicit RootedSystemPaths(std::filesystem::path root) : root_(std::move(root)) {}
    // The root named by ORVANE_SYSTEM_ROOT, else "/".
    static RootedSystemPaths fromEnvironment();
    std::filesystem::path resolve(std::string_view absolutePath) const override;
    const std::filesystem::path& root() const { return root_; }
    InstallationKind installationKind() const {
        return root_ == "/" ? InstallationKind::package : InstallationKind::sandbox;
    }

private:
    std::filesystem::path root_;
};

// A job label or service name that is safe as a file name below the root: letters, digits,
// '.', '-' and '_', not starting with '.'.
bool isPlainName(std::string_view name);

}  // namespace platform::linux_impl
