// QORLauncher: its procedure with doubles, and the real program in a bundle whose path has blanks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "launcher/launcher_delegate.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/running_applications.h"
#include "platform/testing/recording_application.h"
#include "platform/testing/test_platform.h"

namespace {

using namespace platform::testing;
namespace fs = std::filesystem;
constexpr char kApp[] = "com.velmora.OrvaneStorageGatewayApp";

TEST(LauncherProcedure, QuitsOnItsOwnAndOnKillLauncherWithTheApplicationsIdentifierOnly) {
    const struct {
        const char* name;
        const char* object;
        int terminations;  // the procedure's own, plus one if the notification reached it
    } cases[] = {
        {"killLauncher", kApp, 2},
        {"killLauncher", "com.velmora.Other", 1},
        {"terminate", kApp, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.object);
        TestPlatform platform;
        const fs::path bundle = "/Applications/My Apps/A b.app/Contents/Library/LoginItems/L.app";
        platform.services.mainBundle = std::make_shared<FakeBundle>(bundle);
        platform.reinstall();
        platform.workspace->onLaunch = [&](const std::string&) {
            platform.notifications->post(c.name, c.object);
        };
        RecordingApplication application;
        launcher::AppDelegate(application).applicationDidFinishLaunching();
        EXPECT_EQ(application.terminations, c.terminations);
    }
}

// The application's own claim to be the first instance: a second finds it held, and it ends
// with its holder; a name that is no file name claims nothing and keeps no one out.
TEST(SoleInstance, ASecondClaimFindsTheFirstUntilItEnds) {
    using platform::linux_impl::InstanceLock;
    TempDir runtime;
    auto first = InstanceLock::acquireSole(runtime.path(), kApp);
    EXPECT_TRUE(first.lock && !first.anotherRuns);
    auto second = InstanceLock::acquireSole(runtime.path(), kApp);
    EXPECT_TRUE(!second.lock && second.anotherRuns);
    EXPECT_TRUE(platform::linux_impl::runningApplicationsIn(runtime.path()).empty());
    first.lock.reset();
    EXPECT_TRUE(InstanceLock::acquireSole(runtime.path(), kApp).lock);
    auto bad = InstanceLock::acquireSole(runtime.path(), "../x");
    EXPECT_TRUE(!bad.lock && !bad.anotherRuns);
}

enum class StandIn { Script, Missing, NotExecutable, Folder };

struct ProgramCase {
    const char* name;
    bool appRuns;
    StandIn standIn;
    // After the executable's path in the launcher's output; empty: nothing is logged about it.
    const char* logged;
};

// A copy of the built launcher inside "<tmp>/Test Apps/orvane Storage Gateway.app", whose
// executable is a stand-in that says on a FIFO next to itself that it started.
class LauncherProgramTest : public ::testing::TestWithParam<ProgramCase> {
protected:
    LauncherProgramTest() {
        const fs::path built =
            fs::path(ORVANE_BUNDLE_DIR) / "Contents/Library/LoginItems/QORLauncher.app";
        fs::create_directories(launcher / "Contents/MacOS");
        fs::copy_file(built / "Contents/Info.plist", launcher / "Contents/Info.plist");
        fs::copy_file(built / "Contents/MacOS/QORLauncher",
                      launcher / "Contents/MacOS/QORLauncher");
        fs::create_directories(app / "Contents/MacOS");
        const StandIn kind = GetParam().standIn;
        if (kind == StandIn::Folder) fs::create_directory(standIn);
        if (kind == StandIn::Script || kind == StandIn::NotExecutable) {
            std::ofstream(standIn) << "#!/bin/sh\necho started > \"$(dirname \"$0\")/starts\"\n";
            ::chmod(standIn.c_str(), kind == StandIn::Script ? 0755 : 0644);
        }
        // Opened for reading first, so that the stand-in saying it started does not block.
        ::mkfifo(starts.c_str(), 0600);
        said = ::open(starts.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Opening a FIFO for reading would wait for a writer: it must be skipped.
        fs::create_directories(runtime / "running-applications");
        ::mkfifo((runtime / "running-applications/com.velmora.Fifo.lock").c_str(), 0600);
    }
    ~LauncherProgramTest() override { ::close(said); }

    TempDir temp;
    const fs::path app = temp.path() / "Test Apps/orvane Storage Gateway.app";
    const fs::path launcher = app / "Contents/Library/LoginItems/QORLauncher.app";
    const fs::path standIn = app / "Contents/MacOS/orvane Storage Gateway";
    const fs::path runtime = temp.path() / "runtime";
    const fs::path starts = standIn.parent_path() / "starts";
    int said = -1;
};

TEST_P(LauncherProgramTest, StartsTheApplicationOnlyWhenNoneRunsSaysWhyNotAndAlwaysExits) {
    const auto& param = GetParam();
    const auto instance =
        param.appRuns ? platform::linux_impl::InstanceLock::acquire(runtime, kApp) : nullptr;
    ASSERT_EQ(platform::linux_impl::runningApplicationsIn(runtime).size(), param.appRuns ? 1u : 0u);

    platform::linux_impl::PosixProcessRunner runner;
    const auto result = runner.run(
        "/usr/bin/env",
        {"XDG_RUNTIME_DIR=" + runtime.string(), (launcher / "Contents/MacOS/QORLauncher").string()},
        std::chrono::seconds(20));
    ASSERT_FALSE(result.startError);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output.find("Starting QOR at " + standIn.string() + "\n") != std::string::npos,
              !param.appRuns)
        << result.output;
    EXPECT_EQ(result.output.find("Could not start QOR at " + standIn.string() + ": " +
                                 param.logged) != std::string::npos,
              *param.logged != '\0')
        << result.output;
    // The stand-in is started detached: it may say so a little later.
    const bool started = !param.appRuns && param.standIn == StandIn::Script;
    pollfd start{said, POLLIN, 0};
    EXPECT_EQ(::poll(&start, 1, started ? 20000 : 0), started ? 1 : 0);
    // The launcher no longer holds its own lock: it has quit.
    EXPECT_EQ(platform::linux_impl::runningApplicationsIn(runtime).size(), param.appRuns ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LauncherProgramTest,
    ::testing::Values(ProgramCase{"AppRuns", true, StandIn::Script, ""},
                      ProgramCase{"Starts", false, StandIn::Script, ""},
                      ProgramCase{"Missing", false, StandIn::Missing, "No such file or directory"},
                      ProgramCase{"NotExecutable", false, StandIn::NotExecutable,
                                  "Permission denied"},
                      ProgramCase{"Folder", false, StandIn::Folder, "it is a folder"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
