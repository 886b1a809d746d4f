// Where the system's paths land on Linux, on the real root and below a sandbox's.
#include <gtest/gtest.h>

#include "platform/linux/rooted_system_paths.h"

namespace {

using platform::linux_impl::RootedSystemPaths;

TEST(SystemPaths, FindTheirPlaceInTheLinuxLayout) {
    const std::string base = "/Library/Application Support/Velmora/OrvaneStorageGateway";
    // The table itself is the layout's; these are how a path finds its row: the longest
    // prefix, whole folder names only, the rest left where it is.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {base + "/config.ini", "/etc/orvane-storage-gateway/config.ini"},
        {base + "/", "/etc/orvane-storage-gateway/"},
        {base + "/Data/ConfigBackups/", "/var/lib/orvane-storage-gateway/ConfigBackups/"},
        {"/bin/launchctl", "/usr/libexec/orvane-storage-gateway/launchctl"},
        {base + "/DataX", "/etc/orvane-storage-gateway/DataX"},
        {"/var/runaway", "/var/runaway"},
        {"/bin/launchctl2", "/bin/launchctl2"},
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
