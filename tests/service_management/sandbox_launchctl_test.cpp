// The sandbox's launchctl stand-in, run as scripts/run installs it: in <root>/bin.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "platform/linux/launchd_job_blesser.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace service_management_test;

constexpr char kLabel[] = "com.velmora.QorPrivilegedHelper";
constexpr char kGateway[] = "com.velmora.OrvaneStorageGateway";


// Alive and not merely waiting to be reaped.
bool running(pid_t pid) {
    const std::string stat = readAll("/proc/" + std::to_string(pid) + "/stat");
    const auto end = stat.rfind(") ");
    return end != std::string::npos && stat.size() > end + 2 && stat[end + 2] != 'Z';
}

class SandboxLaunchctlTest : public ::testing::Test {
  protected:
    SandboxLaunchctlTest() {
        writeAll(root.path() / "bin/launchctl", readAll(ORVANE_SANDBOX_LAUNCHCTL), 0755);
        fs::create_directories(root.path() / "var/run");
    }
    ~SandboxLaunchctlTest() override {
        // Whatever a failed test left running goes with it.
        if (started > 0 && running(started)) ::kill(started, SIGKILL);
    }

    ProcessResult launchctl(const std::vector<std::string>& args) {
        return runner->run((root.path() / "bin/launchctl").string(), args,
                           std::chrono::seconds(10));
    }
    fs::path pidFile() const { return root.path() / "var/run" / (std::string(kLabel) + ".pid"); }
    fs::path stateFile() const { return root.path() / "var/run/gateway.state"; }

    platform::testing::TempDir root;
    pid_t started = 0;
    std::shared_ptr<linux_impl::PosixProcessRunner> runner =
        std::make_shared<linux_impl::PosixProcessRunner>();
};

TEST_F(SandboxLaunchctlTest, ABlessedHelperServesUntilBootout) {
    writeAll(stateFile(), "running\n");
    platform::testing::TempDir bundle;
    writeAll(bundle.path() / "App.app/Contents/Library/LaunchServices" / kLabel,
             readAll(ORVANE_HELPER_PROGRAM), 0755);
    linux_impl::LaunchdJobBlesser blesser(
        std::make_shared<linux_impl::RootedSystemPaths>(root.path()), runner,
        bundle.path() / "App.app");
    std::optional<ServiceManagementError> error;
    ASSERT_TRUE(blesser.jobBless(kSMDomainSystemLaunchd, kLabel,
                                 AuthorizationReference({kSMRightBlessPrivilegedHelper}), error))
        << error->description();

    EXPECT_TRUE(fs::is_socket(root.path() / "var/run" / (std::string(kLabel) + ".socket")));
    const pid_t pid = started = std::stoi(readAll(pidFile()));
    EXPECT_TRUE(running(pid));

    const auto stopped = launchctl({"bootout", std::string("system/") + kLabel});
    EXPECT_EQ(stopped.status, 0) << stopped.output;
    EXPECT_FALSE(running(pid));
    EXPECT_FALSE(fs::exists(pidFile()));
    // With nothing left to stop it still succeeds.
    EXPECT_EQ(launchctl({"bootout", std::string("system/") + kLabel}).status, 0);
    // The helper's job is not the gateway's.
    EXPECT_EQ(readAll(stateFile()), "running\n");
}

struct GatewayCase {
    const char* name;
    std::vector<std::string> args;  // "@plist" stands for the gateway's job definition
    std::string stateBefore;
    std::string stateAfter;
    int status;
    std::string output;
};
void PrintTo(const GatewayCase& c, std::ostream* out) {
    *out << c.name;
}

class SandboxGatewayTest : public SandboxLaunchctlTest,
                           public ::testing::WithParamInterface<GatewayCase> {};

TEST_P(SandboxGatewayTest, FlipsTheStateFile) {
    const GatewayCase& c = GetParam();
    // Were the gateway's Program run, it would leave a mark.
    writeAll(root.path() / "bin/gateway", "#!/bin/sh\ntouch \"$(dirname \"$0\")/../ran\"\n", 0755);
    const fs::path plist =
        root.path() / "Library/LaunchDaemons" / (std::string(kGateway) + ".plist");
    writeAll(plist, "<plist version=\"1.0\"><dict>\n<key>Label</key>\n<string>" +
                        std::string(kGateway) + "</string>\n<key>Program</key>\n<string>" +
                        (root.path() / "bin/gateway").string() + "</string>\n</dict></plist>\n");
    writeAll(stateFile(), c.stateBefore + "\n");
    std::vector<std::string> args = c.args;
    for (auto& a : args) {
        if (a == "@plist") a = plist.string();
    }

    const auto result = launchctl(args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.output.find(c.output), std::string::npos) << result.output;
    EXPECT_EQ(readAll(stateFile()), c.stateAfter + "\n");
    EXPECT_FALSE(fs::exists(root.path() / "ran"));
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, SandboxGatewayTest,
    ::testing::Values(
        GatewayCase{"Bootstrap", {"bootstrap", "system", "@plist"}, "stopped", "running", 0, ""},
        GatewayCase{
            "Bootout", {"bootout", std::string("system/") + kGateway}, "running", "stopped", 0, ""},
        GatewayCase{"PrintRunning",
                    {"print", std::string("system/") + kGateway},
                    "running",
                    "running",
                    0,
                    "state = running"},
        GatewayCase{"PrintStopped",
                    {"print", std::string("system/") + kGateway},
                    "stopped",
                    "stopped",
                    113,
                    "Could not find service"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
