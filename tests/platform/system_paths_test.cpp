// Where the system's paths land on Linux, on the real root and below a sandbox's.
#include <gtest/gtest.h>

#include "platform/file_url.h"
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

// A folder a person picked comes back from its URL byte for byte, whatever its name holds.
TEST(FileURL, PathsSurviveTheRoundTrip) {
    for (const std::string path : {"/plain/dir", "/with space/and%25/\xC3\xA9t\xC3\xA9", "/a#b?c&d",
                                   "/\x01\x7F/\"quoted\""}) {
        const std::string url = platform::fileURLWithPath(path);
        EXPECT_EQ(platform::pathOfFileURL(url), path) << url;
    }
    EXPECT_EQ(platform::fileURLWithPath("/a b"), "file:///a%20b");
    EXPECT_EQ(platform::pathOfFileURL("file:///100%"), "/100%");
    EXPECT_EQ(platform::pathOfFileURL("https://host/x"), std::nullopt);
}

}  // namespace
