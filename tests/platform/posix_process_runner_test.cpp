// The process runner against real children started through /bin/sh.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::linux_impl::PosixProcessRunner;

platform::ProcessResult sh(const std::string& script, std::chrono::milliseconds timeout = 10s) {
    return PosixProcessRunner().run("/bin/sh", {"-c", script}, timeout);
}

// A streamed run: each stream's lines joined again, and how it ended.
struct Streamed {
    std::string out, err;
    platform::StreamedResult result;
};

Streamed streamed(PosixProcessRunner& runner, const std::string& script,
                  platform::StreamedRun how = {10s, std::nullopt},
                  const std::function<void(std::string_view)>& seen = {}) {
    Streamed run;
    run.result = runner.runStreaming("/bin/sh", {"-c", script}, how, [&](const auto& line) {
        auto& text = line.stream == platform::OutputLine::Stream::Output ? run.out : run.err;
        text += std::string(line.text) + (line.complete ? "\n" : "");
        if (seen) seen(line.text);
    });
    return run;
}

struct RunCase {
    const char* name;
    std::string script;
    int status;
    std::string output;
    std::chrono::milliseconds timeout = 10s;
    bool timedOut = false;
    // Streamed, standard output then standard error, where that differs from `output`.
    std::string apart = {};
};

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, GiveTheChildsStatusAndOutputStreamedOrNot) {
    const auto& param = GetParam();
    const auto result = sh(param.script, param.timeout);
    EXPECT_FALSE(result.startError);
    EXPECT_EQ(result.timedOut, param.timedOut);
    EXPECT_EQ(result.status, param.status);
    // Compared by size first, so a MiB-long mismatch does not flood the report.
    ASSERT_EQ(result.output.size(), param.output.size());
    EXPECT_TRUE(result.output == param.output);

    PosixProcessRunner runner;
    const auto run = streamed(runner, param.script, {param.timeout, std::nullopt, SIZE_MAX});
    EXPECT_FALSE(run.result.startError);
    EXPECT_EQ(run.result.timedOut, param.timedOut);
    EXPECT_EQ(run.result.exitStatus.value_or(0) + run.result.signal.value_or(0), param.status);
    const auto& apart = param.apart.empty() ? param.output : param.apart;
    ASSERT_EQ(run.out.size() + run.err.size(), apart.size());
    EXPECT_TRUE(run.out + run.err == apart);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Runs,
    ::testing::Values(
        RunCase{"JoinedInOrderOrApart", "echo out; echo err >&2; printf out2", 0, "out\nerr\nout2",
                10s, false, "out\nout2err\n"},
        // Far more than a pipe holds: the child blocks unless the pipe is drained while it runs.
        RunCase{"MiBOnStderr", "head -c 1048576 /dev/zero | tr '\\0' x >&2; exit 1", 1,
                std::string(1 << 20, 'x')},
        RunCase{"KilledAtDeadlineWithDescendants", "sleep 30 & echo started; sleep 30", SIGKILL,
                "started\n", 500ms, true},
        RunCase{"KilledBySignal", "kill -TERM $$", SIGTERM, ""},
        // End of output is not the end of the child: its status is still waited for.
        RunCase{"ClosesOutputEarly", "echo early; exec >&- 2>&-; sleep 0.1; exit 4", 4, "early\n"},
        // A descendant keeps the pipe open; the child's exit is what counts, not end of file.
        RunCase{"DescendantKeepsPipe", "sleep 30 & echo hi; exit 5", 5, "hi\n", 5s},
        RunCase{"NoBoundAtAll", "exit 3", 3, "", std::chrono::milliseconds::max()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PosixProcessRunner, StreamedLinesArriveWhileTheChildRunsAndItsBoundIsOnTheClock) {
    platform::testing::TempDir dir;
    const auto go = dir.path() / "go";
    ASSERT_EQ(::mkfifo(go.c_str(), 0600), 0);
    // It waits for a word that is only sent once its first line has been seen.
    PosixProcessRunner realTime;
    const auto answered =
        streamed(realTime, "echo ready; read word < \"" + go.string() + "\"; echo \"got $word\"",
                 {10s, std::nullopt}, [&](std::string_view line) {
                     if (line != "ready") return;
                     const int fd = ::open(go.c_str(), O_WRONLY | O_CLOEXEC);
                     EXPECT_EQ(::write(fd, "go\n", 3), 3);
                     ::close(fd);
                 });
    EXPECT_EQ(answered.out, "ready\ngot go\n");
    // Lines of one write are told to belong together.
    std::vector<bool> more;
    realTime.runStreaming("/bin/sh", {"-c", "printf 'a\\nb\\nc'"}, {10s, std::nullopt},
                          [&](const auto& line) { more.push_back(line.more); });
    EXPECT_EQ(more, (std::vector<bool>{true, false, false}));

    // No real time passes: the bound is reached when the clock is moved to it, once it runs.
    auto clock = std::make_shared<platform::testing::FixedClock>();
    PosixProcessRunner runner(clock);
    std::thread mover;
    const auto hung = streamed(runner, "sleep 30 & echo started; sleep 30", {30s, std::nullopt},
                               [&](std::string_view) {
                                   mover = std::thread([&] {
                                       EXPECT_TRUE(clock->awaitWaiters(clock->now() + 30s));
                                       clock->advance(30s);
                                   });
                               });
    ASSERT_TRUE(mover.joinable());
    mover.join();
    EXPECT_TRUE(hung.result.timedOut);
    EXPECT_EQ(hung.result.signal, SIGKILL);
    EXPECT_EQ(hung.out, "started\n");
}

TEST(PosixProcessRunner, ArgumentsReachTheProgramVerbatimAndTheEnvironmentIsInheritedOrGiven) {
    platform::testing::TempDir dir;
    const std::string marker = (dir.path() / "touched").string();
    const std::vector<std::string> args = {
        "-c",         "printf '%s|' \"$@\" \"$ORVANE_RUNNER_PROBE\"",
        "sh",         "$(touch " + marker + ")",
        "; rm -rf /", "two words",
        "*",          ""};
    ::setenv("ORVANE_RUNNER_PROBE", "inherited value", 1);
    const auto result = PosixProcessRunner().run("/bin/sh", args, 10s);
    PosixProcessRunner runner;
    const auto given = streamed(runner, "echo \"$PATH|$ORVANE_RUNNER_PROBE\"",
                                {10s, std::vector<std::string>{"PATH=/usr/bin:/bin"}});
    EXPECT_EQ(given.out, "/usr/bin:/bin|\n") << "only the environment given";
    ::unsetenv("ORVANE_RUNNER_PROBE");
    ASSERT_FALSE(result.startError);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "$(touch " + marker + ")|; rm -rf /|two words|*||inherited value|");
    EXPECT_FALSE(fs::exists(marker));
}

TEST(PosixProcessRunner, StartErrorsAreDescribed) {
    platform::testing::TempDir dir;
    EXPECT_EQ(PosixProcessRunner().run(dir.path().string(), {}, 10s).startError,
              "Permission denied");
    EXPECT_EQ(PosixProcessRunner().run("sh", {}, 10s).startError, "No such file or directory")
        << "no PATH search";
    const auto viaStream = PosixProcessRunner().runStreaming("sh", {}, {10s, std::nullopt}, {});
    EXPECT_EQ(viaStream.startError, "No such file or directory");
    EXPECT_FALSE(viaStream.beforeSpawn);
}

// Started and waited for (streamed or not), or started detached (which is reported while it
// runs, then reaped).
TEST(PosixProcessRunner, ChildrenGetOnlyStandardDescriptorsAndDetachedOnesAreReaped) {
    // As a library's connection would be: a socket pair without close-on-exec.
    int leaked[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, leaked), 0);
    platform::testing::TempDir dir;
    const std::string listing = (dir.path() / "listing").string();
    PosixProcessRunner runner;
    EXPECT_TRUE(runner.start("/nonexistent/program", {}).startError);
    const auto ran = runner.run("/bin/ls", {"/proc/self/fd"}, 10s);
    const auto lines = streamed(runner, "exec ls /proc/self/fd").out;
    const auto started =
        runner.start("/bin/sh", {"-c", "ls /proc/self/fd > \"$1\"; sleep 0.3", "sh", listing});
    ASSERT_TRUE(started.process);
    const int pid = started.process->processIdentifier();
    EXPECT_TRUE(started.process->isRunning());
    platform::testing::eventually([&] { return !started.process->isRunning(); });
    ::close(leaked[0]);
    ::close(leaked[1]);
    EXPECT_FALSE(started.process->isRunning());
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1) << "no zombie is left to wait for";
    // 3 is the folder ls reads.
    EXPECT_EQ(ran.output, "0\n1\n2\n3\n");
    EXPECT_EQ(lines, "0\n1\n2\n3\n");
    EXPECT_EQ(service_management_test::readAll(listing), "0\n1\n2\n3\n");
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
