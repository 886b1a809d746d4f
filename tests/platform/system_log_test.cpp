// What reaches the log from outside: one event stays one whole line of bounded length.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/linux/system_log.h"

using platform::linux_impl::loggableLine;

TEST(SystemLogTest, OutsideTextCannotForgeCutOrFloodALine) {
    using namespace std::string_literals;
    EXPECT_EQ(loggableLine("Refused \"x\nQOR stop: launchctl command exit code: 0\""),
              "Refused \"x\\nQOR stop: launchctl command exit code: 0\"");
    EXPECT_EQ(loggableLine("Refused the launchctl subcommand \"bootout\0evil\""s),
              "Refused the launchctl subcommand \"bootout\\x00evil\"");
    EXPECT_EQ(loggableLine("tab\there\r\x7f\x1b\r\n"), "tab\\there\\r\\x7f\\x1b");
    EXPECT_EQ(loggableLine("caf\xc3\xa9 ok"), "caf\xc3\xa9 ok");

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
