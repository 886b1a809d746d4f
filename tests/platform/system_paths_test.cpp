// Where the system's paths land on Linux, on the real root and below a sandbox's.
#include <gtest/gtest.h>

#include "platform/linux/rooted_system_paths.h"

namespace {

using platform::linux_impl::RootedSystemPaths;

TEST(SystemPaths, MapTheDesignsPathsOntoTheLinuxLayout) {
    const std::string base = "/Library/Application Support/Velmora/OrvaneStorageGateway";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {base + "/config.ini", "/etc/orvane-storage-gateway/config.ini"},
        {base + "/", "/etc/orvane-storage-gateway/"},
        {base + "/image_magick_config", "/etc/orvane-storage-gateway/image_magick_config"},
        {base + "/Data/ConfigBackups/", "/var/lib/orvane-storage-gateway/ConfigBackups/"},
        {"/Library/Logs/Velmora/OrvaneStorageGateway/default.log",
         "/var/log/orvane-storage-gateway/default.log"},
        {"/Library/PrivilegedHelperTools/com.velmora.QorPrivilegedHelper",
         "/usr/libexec/orvane-storage-gateway/com.velmora.QorPrivilegedHelper"},
        {"/Library/LaunchDaemons/com.velmora.OrvaneStorageGateway.plist",
         "/lib/systemd/system/com.velmora.OrvaneStorageGateway.plist"},
        {"/bin/launchctl", "/usr/libexec/orvane-storage-gateway/launchctl"},
        {"/var/run/com.velmora.QorPrivilegedHelper.socket",
         "/run/com.velmora.QorPrivilegedHelper.socket"},
        {"/var/db/authorization-rights.json",
         "/var/lib/orvane-storage-gateway/authorization-rights.json"},
        // Only whole folder names match; the rest stays where it is.
        {base + "/DataX", "/etc/orvane-storage-gateway/DataX"},
        {"/var/runaway", "/var/runaway"},
        {"/bin/launchctl2", "/bin/launchctl2"},
        {"/etc/machine-info", "/etc/machine-info"},
        {"/", "/"},
    };
    const RootedSystemPaths real("/"), sandbox("/tmp/sandbox");
    for (const auto& [logic, linux] : cases) {
        SCOPED_TRACE(logic);
        EXPECT_EQ(real.resolve(logic), linux);
        EXPECT_EQ(sandbox.resolve(logic), "/tmp/sandbox" + (linux == "/" ? "" : linux));
    }
}

}  // namespace
