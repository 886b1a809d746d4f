// What reaches the log from outside: one event stays one whole line of bounded length.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/system_log.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

using platform::linux_impl::loggableLine;

TEST(SystemLogTest, OutsideTextCannotForgeCutOrFloodALine) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"Refused \"x\nQOR stop: launchctl command exit code: 0\"",
         "Refused \"x\\nQOR stop: launchctl command exit code: 0\""},
        {"Refused the launchctl subcommand \"bootout\0evil\""s,
         "Refused the launchctl subcommand \"bootout\\x00evil\""},
        {"tab\there\r\x7f\x1b\r\n", "tab\\there\\r\\x7f\\x1b"},
        {"caf\xc3\xa9 \xe2\x82\xac ok", "caf\xc3\xa9 \xe2\x82\xac ok"},
        // C1 controls steer terminals as C0 ones do, as UTF-8 and as bare bytes alike.
        {"csi\xc2\x9b"
         "2J nel\xc2\x85 bare\x9b\xff",
         "csi\\u009b2J nel\\u0085 bare\\x9b\\xff"},
    };
    for (const auto& [line, logged] : cases) EXPECT_EQ(loggableLine(line), logged);

    const std::string huge = "Refused \"" + std::string(1 << 20, 'a') + "\"";
    const auto line = loggableLine(huge);
    EXPECT_LE(line.size(), platform::linux_impl::kMaxLogLineBytes + 40);
    EXPECT_EQ(line.substr(0, 9), "Refused \"");
    EXPECT_TRUE(line.ends_with(" [" + std::to_string(huge.size() - 8192) + " more bytes left out]"))
        << line.substr(8180);
    // A cut never splits a character.
    EXPECT_EQ(loggableLine("ab\xc3\xa9", 3), "ab [2 more bytes left out]");
}

TEST(SystemLogTest, StandardErrorThatIsTheJournalIsLeftToTheSystemLog) {
    // Standard error is a file here, standing in for the journal's stream.
    std::FILE* file = std::tmpfile();
    struct stat info {};
    ASSERT_EQ(::fstat(::fileno(file), &info), 0);
    const std::string self = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const std::string other = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino + 1);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file), STDERR_FILENO);
    // JOURNAL_STREAM, and the bytes stderr gets.
    for (const auto& [stream, bytes] : {std::pair{std::string(), 9}, {other, 9}, {self, 0}}) {
        ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
        const off_t before = ::lseek(STDERR_FILENO, 0, SEEK_END);
        platform::linux_impl::SystemLog("system_log_test").write("one line");
        EXPECT_EQ(::lseek(STDERR_FILENO, 0, SEEK_END) - before, bytes) << stream;
    }
    ::unsetenv("JOURNAL_STREAM");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::fclose(file);
}

// A run that logs for days keeps its file bounded: past the limit it is set aside, once.
TEST(SystemLogTest, TheFileIsSetAsideWhileRunningBeforeALineWouldTakeItPastItsLimit) {
    platform::testing::TempDir dir;
    const auto file = dir.path() / "state/application.log";
    platform::linux_impl::SystemLog log("orvane-test", file, 100);
    const std::string line(39, '.');
    for (const char* n : {"1", "2", "3", "4", "5", "6"}) log.write(n + line);
    EXPECT_EQ(service_management_test::readAll(file.string() + ".1"),
              "3" + line + "\n4" + line + "\n");
    EXPECT_EQ(service_management_test::readAll(file), "5" + line + "\n6" + line + "\n");
}
