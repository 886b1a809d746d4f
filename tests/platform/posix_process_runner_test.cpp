// The process runner against real children started through /bin/sh.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/test_platform.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::linux_impl::PosixProcessRunner;

platform::ProcessResult sh(const std::string& script, std::chrono::milliseconds timeout = 10s) {
    return PosixProcessRunner().run("/bin/sh", {"-c", script}, timeout);
}

struct RunCase {
    const char* name;
    std::string script;
    int status;
    std::string output;
    bool timedOut = false;
    std::chrono::milliseconds timeout = 10s;
};

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, GiveStatusAndJoinedOutput) {
    const auto& param = GetParam();
    const auto result = sh(param.script, param.timeout);
    EXPECT_FALSE(result.startError);
    EXPECT_EQ(result.timedOut, param.timedOut);
    EXPECT_EQ(result.status, param.status);
    // Compared by size first, so a MiB-long mismatch does not flood the report.
    ASSERT_EQ(result.output.size(), param.output.size());
    EXPECT_TRUE(result.output == param.output);
}

const std::string kMiB(1 << 20, 'x');
const std::string kPrintMiB = "head -c 1048576 /dev/zero | tr '\\0' x";

INSTANTIATE_TEST_SUITE_P(
    Cases, Runs,
    ::testing::Values(
        RunCase{"JoinedInOrder", "echo out; echo err >&2; echo out2", 0, "out\nerr\nout2\n"},
        RunCase{"ExitStatus", "echo bye; exit 7", 7, "bye\n"},
        RunCase{"KilledBySignal", "kill -TERM $$", SIGTERM, ""},
        // Far more than a pipe holds: the child blocks unless the pipe is drained while it runs.
        RunCase{"MiBOnStdout", kPrintMiB, 0, kMiB},
        RunCase{"MiBOnStderr", kPrintMiB + " >&2; exit 1", 1, kMiB},
        // End of output is not the end of the child: its status is still waited for.
        RunCase{"ClosesOutputEarly", "echo early; exec >&- 2>&-; sleep 0.1; exit 4", 4, "early\n"},
        // A descendant keeps the pipe open; the child's exit is what counts, not end of file.
        RunCase{"DescendantKeepsPipe", "sleep 30 & echo hi; exit 5", 5, "hi\n", false, 5s},
        RunCase{"KilledAtDeadlineWithDescendants", "sleep 30 & echo started; sleep 30", SIGKILL,
                "started\n", true, 500ms},
        RunCase{"NoBoundAtAll", "exit 3", 3, "", false, std::chrono::milliseconds::max()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PosixProcessRunner, ArgumentsReachTheProgramVerbatimAndTheEnvironmentIsInherited) {
    platform::testing::TempDir dir;
    const std::string marker = (dir.path() / "touched").string();
    const std::vector<std::string> args = {
        "-c",         "printf '%s|' \"$@\" \"$ORVANE_RUNNER_PROBE\"", "sh", "$(touch " + marker + ")",
        "; rm -rf /", "two words",           "*",  ""};
    ::setenv("ORVANE_RUNNER_PROBE", "inherited value", 1);
    const auto result = PosixProcessRunner().run("/bin/sh", args, 10s);
    ::unsetenv("ORVANE_RUNNER_PROBE");
    ASSERT_FALSE(result.startError);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "$(touch " + marker + ")|; rm -rf /|two words|*||inherited value|");
    EXPECT_FALSE(fs::exists(marker));
}

TEST(PosixProcessRunner, StartErrorsAreDescribed) {
    platform::testing::TempDir dir;
    const fs::path plain = dir.path() / "plain";
    { std::ofstream(plain) << "#!/bin/sh\n"; }
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir.path() / "missing").string(), "No such file or directory"},
        {plain.string(), "Permission denied"},
        {dir.path().string(), "Permission denied"},
        {"sh", "No such file or directory"},  // no PATH search
    };
    for (const auto& [program, error] : cases) {
        const auto result = PosixProcessRunner().run(program, {}, 10s);
        EXPECT_EQ(result.startError, error) << program;
    }
}

TEST(PosixProcessRunner, AnIgnoredSigchldDoesNotLoseTheStatus) {
    // As when the parent that started the app ignored it: the setting is inherited.
    struct sigaction previous {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGCHLD, &ignore, &previous);
    const auto result = sh("exit 6", 5s);
    ::sigaction(SIGCHLD, &previous, nullptr);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 6);
}

}  // namespace
