#pragma once

#include <chrono>
#include <filesystem>
#include <memory>

#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/process_runner.h"
#include "platform/service_management.h"
#include "platform/system_paths.h"

namespace platform::linux_impl {

// The helper's installation and the login item on Linux. Blessing depends on who installs: in a
// sandbox root it does what the system does: the tool named by its label
// in the main bundle's Contents/Library/LaunchServices must carry an embedded information
// dictionary naming that label; it is copied to /Library/PrivilegedHelperTools, its job
// definition written to /Library/LaunchDaemons, and the job replaced through /bin/launchctl (all
// below the system root). Where the package installed the helper, blessing changes nothing: it
// succeeds when the installed tool is the bundle's version and its job runs, and otherwise asks
// for the package to be reinstalled. Login items start through the user's autostart folder.
class LinuxServiceManagement : public ServiceManagement {
public:
    LinuxServiceManagement(std::shared_ptr<SystemPaths> paths,
                           std::shared_ptr<ProcessRunner> processes,
                           std::filesystem::path bundlePath, InstallationKind installation,
                           std::chrono::milliseconds launchctlTimeout = std::chrono::seconds(30));

    bool jobBless(std::string_view domain, const std::string& label,
                  const AuthorizationReference& authorization,
                  std::optional<ServiceManagementError>& error) override;
    // An XDG autostart entry for the user.
    bool loginItemSetEnabled(const std::string& identifier, bool enabled) override;

private:
    bool checkPackagedHelper(const std::string& label,
                             std::optional<ServiceManagementError>& error);

    std::shared_ptr<SystemPaths> paths_;
    std::shared_ptr<ProcessRunner> processes_;
    std::filesystem::path bundlePath_;
    InstallationKind installation_;
    std::chrono::milliseconds timeout_;
    XdgAutostart autostart_;
};

}  // namespace platform::linux_impl
