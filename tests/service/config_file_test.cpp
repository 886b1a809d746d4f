#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <ctime>
#include <filesystem>

#include "platform/linux/local_clock.h"
#include "platform/testing/test_platform.h"
#include "service/qor_tools.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::TestPlatform;
using service_management_test::modeOf;
using service_management_test::readAll;

class ConfigFileTest : public ::testing::Test {
protected:
    void write(const std::string& contents) { platform.writeConfig(contents); }
    fs::path config() const { return platform.configFile(); }
    // The one line logged for a config.ini that cannot be read.
    std::vector<std::string> unreadable(const std::string& why) const {
        return {"Could not open configuration file file://" + config().string() + ": " + why};
    }
    TestPlatform platform;
};

// The key and value rules on their own are held against a second reading of them by the
// config_ini fuzz target, whose seeds pin the surrogate, the character beyond U+10FFFF, a cut
// character, a value holding "=", an empty value, blanks, tabs and "\r" around key and value,
// leading "=" and a "#" key; here they are read from the file.
TEST_F(ConfigFileTest, ParserRulesFindTheAppId) {
    const std::string kLong(1 << 20, 'x');
    const std::string kBom = "\xEF\xBB\xBF";
    const char* kNotUtf8 = "the file is not valid UTF-8 text";
    const struct {
        std::string file;
        std::optional<std::string> appId;
        const char* unreadableBecause = nullptr;
    } cases[] = {
        {"app-id = \napp-id = two\n", ""},  // the first wins, even when empty
        {"app-id\napp-id abc\n", std::nullopt},
        {"=\n==\n= abc\n", std::nullopt},
        {"app-id = \vabc\n", "\vabc"},  // only blanks, tabs and line ends are trimmed
        {"app-id = abc", "abc"},
        {kBom + "app-id = abc\n", "abc"},
        {"x = 1\n" + kBom + "app-id = abc\n", std::nullopt},
        {"app-id = caf\xC3\xA9 \xF0\x9F\x98\x80\n", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"junk = " + kLong + "\napp-id = " + kLong + "\n", kLong},
        // Bytes that are not UTF-8, wherever they are, make the whole file unreadable.
        {"app-id = \x80\n", std::nullopt, kNotUtf8},      // stray continuation byte
        {"app-id = \xC0\xAF\n", std::nullopt, kNotUtf8},  // overlong slash
        {"storage-id = gr\xFC\xDF\napp-id = abc\n", std::nullopt, kNotUtf8},  // Latin-1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 40));
        platform.log->clear();
        write(c.file);
        EXPECT_EQ(QorTools::getAppId(), c.appId);
        EXPECT_EQ(platform.log->lines(), c.unreadableBecause ? unreadable(c.unreadableBecause)
                                                             : std::vector<std::string>{});
    }
}

TEST_F(ConfigFileTest, IsConfiguredNeedsFourValuesAndAHost) {
    const std::string app = "app-id = A\n", token = "auth-token = T\n",
                      storage = "storage-id = S\n";
    const std::string url = "orvane-url = https://o.example\n";
    const std::vector<std::pair<std::string, bool>> cases = {
        {app + token + storage + url, true},
        {token + storage + url, false},
        {app + storage + url, false},
        {app + token + url, false},
        {app + token + storage, false},
        {app + "auth-token = \n" + storage + url, false},
        // The empty URL normalises to "/", which is neither empty nor the bare scheme.
        {app + token + storage + "orvane-url = \n", true},
        {app + token + storage + "orvane-url = https://\n", false},
    };
    for (const auto& [file, expected] : cases) {
        write(file);
        EXPECT_EQ(QorTools::isConfigured(), expected) << file;
    }
    fs::remove(config());
    EXPECT_FALSE(QorTools::isConfigured());
    EXPECT_EQ(platform.log->lines(), unreadable("No such file or directory"))
        << "stops at the first absent value";
}

TEST_F(ConfigFileTest, WritesTheTemplateKeepingTheCurrentUrlAndTheFilesMode) {
    write("[main]\nsomething = else\norvane-url = https://o.example\n");
    ::chmod(config().c_str(), 0640);
    ASSERT_TRUE(QorTools::writeNewConfig("A", "S", std::nullopt, "T"));
    const std::string written = readAll(config());
    EXPECT_EQ(
        written,
        "[main]\n\napp-id = A\nstorage-id = S\norvane-url = https://o.example/\n"
        "auth-token = T\nsleep-time = 5\nmax-transcoding-jobs = 2\n"
        // The gateway reads these two, so they name where this system keeps the files.
        "log-filename = " +
            (platform.root.path() / "var/log/orvane-storage-gateway/default.log").string() +
            "\n"
            "image_magick_config = " +
            (platform.root.path() / "etc/orvane-storage-gateway/image_magick_config").string() +
            "\n"
            "forbidden-dirs = /;//;/System/*;/etc/*;/dev/*;/cores/*;/bin/*;/sbin/*;/usr/*;/boot/*;"
            "/lib/*;/proc/*;/root/*;/run/*;/sys/*\n");
    EXPECT_EQ(modeOf(config()), 0640u) << "the file holds a token: its mode is kept";
    // No temporary file is left next to it.
    EXPECT_EQ(std::distance(fs::directory_iterator(config().parent_path()), {}), 1);

    fs::remove(config());
    ASSERT_TRUE(QorTools::writeNewConfig("A", "S", std::string("http://given"), "T"));
    EXPECT_NE(readAll(config()).find("\norvane-url = http://given\n"), std::string::npos)
        << "a given URL is written verbatim";
    EXPECT_EQ(modeOf(config()), 0600u) << "a new file holding a token is private";
}

TEST_F(ConfigFileTest, RefusalsAndFailedWritesLeaveTheFileAsItWas) {
    const std::string before = "orvane-url = https://o.example\n" + std::string(100, '#') + "\n";
    write("app-id = old\n");
    EXPECT_FALSE(QorTools::writeNewConfig("A", "S", std::nullopt, "T"));
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{"Failed to get orvane URL from config.ini"});

    write(before);
    // A line break in any value would smuggle keys of its own into the file.
    const std::string url = "https://o.example/";
    const std::vector<std::array<std::string, 4>> cases = {
        {"A\nsleep-time = 0", "S", url, "T"},
        {"A", "S\r", url, "T"},
        {"A", "S", url + "\nauth-token = x", "T"},
        {"A", "S", url, "T\r\n"},
    };
    for (const auto& [appId, storageId, givenUrl, token] : cases) {
        platform.log->clear();
        EXPECT_FALSE(QorTools::writeNewConfig(appId, storageId, givenUrl, token));
        EXPECT_EQ(platform.log->lines(),
                  std::vector<std::string>{
                      "writeNewConfig, refusing to write a value that contains a line break"});
    }
    EXPECT_EQ(readAll(config()), before);

    // A full disk, in a child so that the file-size limit stays there.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = QorTools::writeNewConfig("A", "S", std::nullopt, "T");
        const bool logged = platform.log->contains(
            "Could not write temporary configuration file to file://" + config().string() + ": ");
        ::_exit(!written && logged ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the write must fail with its log line";
    EXPECT_EQ(readAll(config()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(config().parent_path()), {}), 1)
        << "no temporary file is left behind";

    // Works as root too: the config's folder is a plain file, so nothing can be created in it.
    platform.log->clear();
    fs::remove_all(config().parent_path());
    platform.writeFile("/Library/Application Support/Velmora/OrvaneStorageGateway", "not a folder");
    EXPECT_FALSE(QorTools::writeNewConfig("A", "S", std::string("https://o/"), "T"));
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{"Could not write temporary configuration file to file://" +
                                       config().string() + ": Not a directory"});
}

TEST_F(ConfigFileTest, BackupsAreNamedByTheClockAndNeverOverwrite) {
    write("auth-token = secret\n");
    // Not the mode a new file gets anyway, so only a copied mode passes.
    ::chmod(config().c_str(), 0640);
    const fs::path expected = platform.resolve(
        "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups/"
        "config.ini.bak_2024-03-05_14-07-09-5000");
    ASSERT_TRUE(QorTools::backupConfigFile());
    EXPECT_EQ(readAll(expected), "auth-token = secret\n");
    EXPECT_EQ(readAll(config()), "auth-token = secret\n") << "a copy, the source stays";
    EXPECT_EQ(modeOf(expected), 0640u);

    write("auth-token = newer\n");
    EXPECT_FALSE(QorTools::backupConfigFile()) << "same instant, same name";
    EXPECT_EQ(readAll(expected), "auth-token = secret\n");
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{"Failed to make a backup of configuration file to file://" +
                                       expected.string() + ": File exists"});

    platform.clock->set({2024, 12, 31, 9, 5, 3, 123456789});
    ASSERT_TRUE(QorTools::backupConfigFile());
    EXPECT_TRUE(fs::exists(expected.parent_path() / "config.ini.bak_2024-12-31_09-05-03-1234"));
}

// Backup names come from the real clock in the machine's time zone: half an hour off UTC, so
// neither UTC nor a whole-hour shift can pass by chance.
TEST(LocalClockTest, FollowsTheMachinesTimeZone) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    ::setenv("TZ", "<+0530>-5:30", 1);
    ::tzset();
    // The clock the product reads: time() reads a coarser one that can lag a second behind.
    auto seconds = [] {
        timespec ts{};
        ::clock_gettime(CLOCK_REALTIME, &ts);
        return ts.tv_sec;
    };
    const std::time_t before = seconds();
    const platform::LocalDateTime now = platform::linux_impl::LocalClock().nowLocal();
    const std::time_t after = seconds();
    if (previous)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();

    auto at = [](std::time_t t) {
        t += 5 * 3600 + 30 * 60;
        std::tm utc{};
        ::gmtime_r(&t, &utc);
        return std::array{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                          utc.tm_hour,        utc.tm_min,     utc.tm_sec};
    };
    const std::array got{now.year, now.month, now.day, now.hour, now.minute, now.second};
    EXPECT_TRUE(got == at(before) || got == at(after));
}

}  // namespace
