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
    ASSERT_NE(file, nullptr);
    struct stat info {};
    ASSERT_EQ(::fstat(::fileno(file), &info), 0);
    const std::string self = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const std::string other = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino + 1);
    const std::string trailing = self + "x";
    struct Case {
        const char* stream;  // JOURNAL_STREAM, or none
        bool onStderr;
    };
    const Case cases[] = {{nullptr, true},
                          {other.c_str(), true},
                          {"junk", true},
                          {trailing.c_str(), true},
                          {self.c_str(), false}};
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file), STDERR_FILENO);
    for (const auto& [stream, onStderr] : cases) {
        stream ? ::setenv("JOURNAL_STREAM", stream, 1) : ::unsetenv("JOURNAL_STREAM");
        const off_t before = ::lseek(STDERR_FILENO, 0, SEEK_END);
        platform::linux_impl::SystemLog("system_log_test").write("one line");
        const off_t written = ::lseek(STDERR_FILENO, 0, SEEK_END) - before;
        EXPECT_EQ(written, onStderr ? 9 : 0) << (stream ? stream : "no JOURNAL_STREAM");
    }
    ::unsetenv("JOURNAL_STREAM");
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::fclose(file);
}
