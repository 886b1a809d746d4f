// The status query against real child processes: scripts standing in for launchctl.
#include <gmock/gmock.h>
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
using ::testing::Matcher;
using namespace std::chrono_literals;

struct StatusCase {
    const char* name;
    // Body of <root>/bin/launchctl; none means there is no such file.
    std::optional<std::string> script;
    QorStatus status;
    std::vector<Matcher<std::string>> log;
    mode_t mode = 0755;
    std::chrono::milliseconds timeout = QorTools::kStatusQueryTimeout;
};

class StatusQuery : public ::testing::TestWithParam<StatusCase> {
  protected:
    StatusQuery() {
        platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
        platform.reinstall();
    }
    TestPlatform platform;
};

TEST_P(StatusQuery, MapsLaunchctlsAnswer) {
    const auto& param = GetParam();
    if (param.script) {
        const fs::path file = platform.resolve("/bin/launchctl");
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n" << *param.script << "\n";
        ::chmod(file.c_str(), param.mode);
    }
    EXPECT_EQ(QorTools::getStatus(param.timeout), param.status);
    EXPECT_THAT(platform.log->lines(), ::testing::ElementsAreArray(param.log));
}

const std::string kMiB(1 << 20, 'x');
const std::string kMiBLine = "launchctl non-zero status: 2 output: " + kMiB;
const std::string kPrintMiB = "head -c 1048576 /dev/zero | tr '\\0' x; ";

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusQuery,
    ::testing::Values(
        StatusCase{
            "Running", "echo 'state = running'; echo 'active count = 1'", QorStatus::Running, {}},
        StatusCase{"EmptyOutput", "exit 0", QorStatus::Running, {}},
        StatusCase{"MarkerOnStderr",
                   "echo 'state = waiting'; echo 'active count = 0' >&2",
                   QorStatus::Failed,
                   {"launchctl command ok, but service not running - 'active count = 0' found"}},
        StatusCase{"MarkerWhateverElseIsSaid",
                   "echo 'state = running'; echo 'xactive count = 01'",
                   QorStatus::Failed,
                   {"launchctl command ok, but service not running - 'active count = 0' found"}},
        StatusCase{"MarkerIsCaseSensitive", "echo 'Active Count = 0'", QorStatus::Running, {}},
        // The replacement text holds no marker, so bytes that hide one still read as running.
        StatusCase{"NotUtf8", "printf 'active count = 0\\377\\n'", QorStatus::Running, {}},
        StatusCase{"NonZeroWithMarker",
                   "echo 'active count = 0'; exit 3",
                   QorStatus::Stopped,
                   {"launchctl non-zero status: 3 output: active count = 0"}},
        StatusCase{"NonZeroNotUtf8",
                   "printf '\\377'; exit 113",
                   QorStatus::Stopped,
                   {"launchctl non-zero status: 113 output: Could not parse output"}},
        // Embedded as it is, never taken as a pattern.
        StatusCase{"OutputKeptVerbatim",
                   "echo out; echo '%s %n' >&2; echo out2; exit 1",
                   QorStatus::Stopped,
                   {"launchctl non-zero status: 1 output: out\\n%s %n\\nout2"}},
        StatusCase{"MiBThenMarker",
                   kPrintMiB + "echo; echo 'active count = 0'",
                   QorStatus::Failed,
                   {"launchctl command ok, but service not running - 'active count = 0' found"}},
        StatusCase{"MiBNonZero",
                   kPrintMiB + "exit 2",
                   QorStatus::Stopped,
                   // The log keeps the first 8 KiB of one line.
                   {kMiBLine.substr(0, 8192) + " [" + std::to_string(kMiBLine.size() - 8192) +
                    " more bytes left out]"}},
        StatusCase{"Missing",
                   std::nullopt,
                   QorStatus::Unknown,
                   {"Failed to execute launchctl: No such file or directory"}},
        StatusCase{"NotExecutable",
                   "exit 0",
                   QorStatus::Unknown,
                   {"Failed to execute launchctl: Permission denied"},
                   0644},
        // The grandchild holds the pipe too: the kill must end the whole group.
        StatusCase{"Hangs",
                   "sleep 30 & echo 'active count = 1'; sleep 30",
                   QorStatus::Unknown,
                   {"launchctl did not exit within 300 ms and was killed"},
                   0755,
                   300ms}),
    [](const auto& info) { return std::string(info.param.name); });

// Remembers what it was asked and answers as told.
class RecordingRunner : public platform::ProcessRunner {
  public:
    platform::ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                                std::chrono::milliseconds timeout) override {
        this->executable = executable;
        this->args = args;
        this->timeout = timeout;
        return answer;
    }
    platform::StartedProcess start(const std::string&, const std::vector<std::string>&) override {
        return {"not used here", nullptr};
    }
    platform::ProcessResult answer;
    std::string executable;
    std::vector<std::string> args;
    std::chrono::milliseconds timeout{};
};

TEST(StatusQueryCall, AsksLaunchctlUnderTheRootWithTenSeconds) {
    TestPlatform platform;
    auto runner = std::make_shared<RecordingRunner>();
    runner->answer.timedOut = true;
    platform.services.processes = runner;
    platform.reinstall();

    EXPECT_EQ(QorTools::getStatus(), QorStatus::Unknown);
    EXPECT_EQ(runner->executable, platform.resolve("/bin/launchctl").string());
    EXPECT_EQ(runner->args,
              (std::vector<std::string>{"print", "system/com.velmora.OrvaneStorageGateway"}));
    EXPECT_EQ(runner->timeout, 10s);
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{"launchctl did not exit within 10 seconds and was killed"});
}

}  // namespace
