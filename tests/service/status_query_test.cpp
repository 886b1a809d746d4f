// The status query against real child processes: scripts standing in for launchctl.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/test_platform.h"
#include "service/qor_tools.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::TestPlatform;

class StatusQueryTest : public ::testing::Test {
protected:
    StatusQueryTest() {
        platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
        platform.reinstall();
    }
    // Writes <root>/bin/launchctl running `body`; the arguments it got land in args.txt.
    void launchctl(const std::string& body) {
        const fs::path file = platform.resolve("/bin/launchctl");
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.txt\"\n"
                            << body << "\n";
        ::chmod(file.c_str(), 0755);
    }
    std::string args() const {
        std::ifstream in(platform.resolve("/bin/args.txt"));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    TestPlatform platform;
};

struct StatusCase {
    const char* name;
    std::string script;
    QorStatus status;
    std::vector<std::string> log;
};

class StatusOutputs : public StatusQueryTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusOutputs, MapToTheirStatus) {
    launchctl(GetParam().script);
    EXPECT_EQ(QorTools::getStatus(), GetParam().status);
    EXPECT_EQ(platform.log->lines(), GetParam().log);
    EXPECT_EQ(args(), "print\nsystem/com.velmora.OrvaneStorageGateway\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusOutputs,
    ::testing::Values(
        StatusCase{"Running", "echo 'state = running'; echo 'active count = 1'", QorStatus::Running, {}},
        StatusCase{"EmptyOutput", "exit 0", QorStatus::Running, {}},
        StatusCase{"MarkerOnStderr",
                   "echo 'state = waiting'; echo 'active count = 0' >&2",
                   QorStatus::Failed,
                   {"launchctl command ok, but service not running - 'active count = 0' found"}},
        // The replacement text holds no marker, so bytes that hide one still read as running.
        StatusCase{"NotUtf8", "printf 'active count = 0\\377\\n'", QorStatus::Running, {}},
        StatusCase{"NonZeroWithMarker", "echo 'active count = 0'; exit 3", QorStatus::Stopped,
                   {"launchctl non-zero status: 3 output: active count = 0\n"}},
        StatusCase{"NonZeroNotUtf8", "printf '\\377'; exit 113", QorStatus::Stopped,
                   {"launchctl non-zero status: 113 output: Could not parse output"}},
        StatusCase{"JoinedInOrder", "echo out; echo err >&2; echo out2; exit 1", QorStatus::Stopped,
                   {"launchctl non-zero status: 1 output: out\nerr\nout2\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StatusQueryTest, MissingLaunchctlIsUnknown) {
    EXPECT_EQ(QorTools::getStatus(), QorStatus::Unknown);
    ASSERT_EQ(platform.log->lines().size(), 1u);
    EXPECT_EQ(platform.log->lines()[0].rfind("Failed to execute launchctl: ", 0), 0u);
}

TEST_F(StatusQueryTest, OutputFarLargerThanThePipeIsReadWhole) {
    // 1 MiB with the marker at the very end: the child blocks unless the pipe is drained.
    launchctl("head -c 1048576 /dev/zero | tr '\\0' x; echo; echo 'active count = 0'");
    EXPECT_EQ(QorTools::getStatus(), QorStatus::Failed);
}

TEST_F(StatusQueryTest, HungLaunchctlCountsAsUnknown) {
    // The runner's kill is tested with a short bound below; here the query's own handling.
    auto scripted = std::make_shared<platform::testing::ScriptedProcessRunner>();
    scripted->setResult({std::nullopt, true, 9, "partial"});
    platform.services.processes = scripted;
    platform.reinstall();
    EXPECT_EQ(QorTools::getStatus(), QorStatus::Unknown);
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{"launchctl did not exit within 10 seconds and was killed"});
}

TEST(PosixProcessRunnerTest, KillsAChildThatOutlivesItsBound) {
    platform::linux_impl::PosixProcessRunner runner;
    const auto start = std::chrono::steady_clock::now();
    // The grandchild keeps the pipe open: the runner must not wait for its end of file.
    const auto result = runner.run("/bin/sh", {"-c", "sleep 30 & echo started; sleep 30"},
                                   std::chrono::milliseconds(200));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.output, "started\n");
    EXPECT_LT(took, std::chrono::seconds(10));
}

TEST(PosixProcessRunnerTest, ArgumentsReachTheProgramVerbatim) {
    platform::linux_impl::PosixProcessRunner runner;
    platform::testing::TempDir dir;
    const std::string marker = (dir.path() / "touched").string();
    const std::vector<std::string> args = {"-c", "printf '%s|' \"$@\"", "sh", "$(touch " + marker + ")",
                                           "; rm -rf /", "two words", ""};
    const auto result = runner.run("/bin/sh", args, std::chrono::seconds(5));
    ASSERT_FALSE(result.startError);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "$(touch " + marker + ")|; rm -rf /|two words||");
    EXPECT_FALSE(fs::exists(marker));
}

TEST(PosixProcessRunnerTest, ReportsExitStatusAndStartErrors) {
    platform::linux_impl::PosixProcessRunner runner;
    EXPECT_EQ(runner.run("/bin/sh", {"-c", "exit 7"}, std::chrono::seconds(5)).status, 7);
    const auto missing = runner.run("/nonexistent/launchctl", {}, std::chrono::seconds(5));
    ASSERT_TRUE(missing.startError);
    EXPECT_FALSE(missing.startError->empty());
    const auto relative = runner.run("sh", {"-c", "exit 0"}, std::chrono::seconds(5));
    EXPECT_TRUE(relative.startError) << "no PATH search";
}

}  // namespace
