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

constexpr char kConfig[] = "/Library/Application Support/Velmora/OrvaneStorageGateway/config.ini";

class ConfigFileTest : public ::testing::Test {
  protected:
    void write(const std::string& contents) { platform.writeFile(kConfig, contents); }
    fs::path config() const { return platform.resolve(kConfig); }
    // The one line logged for a config.ini that cannot be read.
    std::vector<std::string> unreadable(const std::string& why) const {
        return {"Could not open configuration file file://" + config().string() + ": " + why};
    }
    TestPlatform platform;
};

TEST_F(ConfigFileTest, ParserRulesFindTheAppId) {
    const std::string kLong(1 << 20, 'x');
    const char* kNotUtf8 = "the file is not valid UTF-8 text";
    const struct {
        std::string file;
        std::optional<std::string> appId;
        const char* unreadableBecause = nullptr;
    } cases[] = {
        {"app-id=abc\n", "abc"},
        {"  app-id\t=\tabc  \n", "abc"},
        {"app-id = a=b\n", "a=b"},
        {"app-id =\n", std::nullopt},  // nothing after "="
        {"app-id = \n", ""},
        {"App-Id = abc\n", std::nullopt},
        {"app-id = \napp-id = two\n", ""},  // the first wins, even when empty
        {"app-id\napp-id abc\n", std::nullopt},
        {"=\n==\n= abc\n", std::nullopt},
        {"[main]\n[other]\napp-id = abc\n", "abc"},
        {"# app-id = abc\n", std::nullopt},  // "#" is part of the key
        {"[main]\r\nstorage-id = s\r\napp-id = abc\r\n", "abc"},
        {"==app-id = abc\n", "abc"},
        {"app-id = \vabc\n", "\vabc"},  // only blanks, tabs and line ends are trimmed
        {"app-id = abc", "abc"},
        {"\xEF\xBB\xBF"
         "app-id = abc\n",
         "abc"},
        {"x = 1\n\xEF\xBB\xBF"
         "app-id = abc\n",
         std::nullopt},
        {"app-id = caf\xC3\xA9 \xF0\x9F\x98\x80\n", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"junk = " + kLong + "\napp-id = " + kLong + "\n", kLong},
        {"[main]\nstorage-id = s\n", std::nullopt},
        // Bytes that are not UTF-8, wherever they are, make the whole file unreadable.
        {"app-id = caf\xC3\n", std::nullopt, kNotUtf8},           // cut in a character
        {"app-id = \x80\n", std::nullopt, kNotUtf8},              // stray continuation byte
        {"app-id = \xC0\xAF\n", std::nullopt, kNotUtf8},          // overlong slash
        {"app-id = \xED\xA0\x80\n", std::nullopt, kNotUtf8},      // surrogate
        {"app-id = \xF4\x90\x80\x80\n", std::nullopt, kNotUtf8},  // beyond U+10FFFF
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

TEST_F(ConfigFileTest, OrvaneUrlEndsInExactlyOneAddedSlash) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"https://o.example", "https://o.example/"},
        {"https://o.example/", "https://o.example/"},
        {"https://o.example//", "https://o.example//"},
        {"", "/"},
    };
    for (const auto& [url, expected] : cases) {
        write("orvane-url = " + url + "\n");
        EXPECT_EQ(QorTools::getOrvaneUrl(), expected) << url;
    }
}

TEST_F(ConfigFileTest, IsConfiguredNeedsFourValuesAndAHost) {
    // The four values in order; nullopt leaves the key out.
    using Values = std::array<std::optional<std::string>, 4>;
    const std::array<const char*, 4> keys = {"app-id", "auth-token", "storage-id", "orvane-url"};
    const std::vector<std::pair<Values, bool>> cases = {
        {{"A", "T", "S", "https://o.example"}, true},
        {{std::nullopt, "T", "S", "https://o.example"}, false},
        {{"A", std::nullopt, "S", "https://o.example"}, false},
        {{"A", "T", std::nullopt, "https://o.example"}, false},
        {{"A", "T", "S", std::nullopt}, false},
        {{"A", "", "S", "https://o.example"}, false},
        // The empty URL normalises to "/", which is neither empty nor the bare scheme.
        {{"A", "T", "S", ""}, true},
        {{"A", "T", "S", "https://"}, false},
    };
    for (const auto& [values, expected] : cases) {
        std::string file;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (values[i]) file += std::string(keys[i]) + " = " + *values[i] + "\n";
        }
        write(file);
        EXPECT_EQ(QorTools::isConfigured(), expected) << file;
    }
    platform.log->clear();
    fs::remove(config());
    EXPECT_FALSE(QorTools::isConfigured());
    EXPECT_EQ(platform.log->lines(), unreadable("No such file or directory"))
        << "stops at the first absent value";
}

TEST_F(ConfigFileTest, WritesTheTemplateExactlyKeepingTheCurrentUrl) {
    write("[main]\nsomething = else\norvane-url = https://o.example\n");
    ::chmod(config().c_str(), 0640);
    ASSERT_TRUE(QorTools::writeNewConfig("A", "S", std::nullopt, "T"));
    EXPECT_EQ(readAll(config()),
              "[main]\n"
              "\n"
              "app-id = A\n"
              "storage-id = S\n"
              "orvane-url = https://o.example/\n"
              "auth-token = T\n"
              "sleep-time = 5\n"
              "max-transcoding-jobs = 2\n"
              "log-filename = /Library/Logs/Velmora/OrvaneStorageGateway/default.log\n"
              "image_magick_config = /Library/Application "
              "Support/Velmora/OrvaneStorageGateway/image_magick_config\n"
              "forbidden-dirs = "
              "/;//;/System/*;/etc/*;/dev/*;/cores/*;/bin/*;/sbin/*;/usr/*;/boot/*;/lib/*;/proc/*;"
              "/root/*;/run/*;/sys/*\n");
    EXPECT_EQ(modeOf(config()), 0640u) << "the file holds a token: its mode is kept";
    // No temporary file is left next to it.
    EXPECT_EQ(std::distance(fs::directory_iterator(config().parent_path()), {}), 1);

    ASSERT_TRUE(QorTools::writeNewConfig("A", "S", std::string("http://given"), "T"));
    EXPECT_NE(readAll(config()).find("\norvane-url = http://given\n"), std::string::npos)
        << "a given URL is written verbatim";

    fs::remove(config());
    ASSERT_TRUE(QorTools::writeNewConfig("A", "S", std::string("http://given"), "T"));
    EXPECT_EQ(modeOf(config()), 0600u) << "a new file holding a token is private";
}

TEST_F(ConfigFileTest, RefusalsLeaveTheFileAsItWas) {
    const std::string before = "app-id = old\n";
    write(before);
    EXPECT_FALSE(QorTools::writeNewConfig("A", "S", std::nullopt, "T"));
    EXPECT_EQ(platform.log->lines(),
              std::vector<std::string>{"Failed to get orvane URL from config.ini"});

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
}

TEST_F(ConfigFileTest, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    const std::string before = "orvane-url = https://o.example\n" + std::string(100, '#') + "\n";
    write(before);
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
    EXPECT_EQ(QorTools::backupFileURL(), expected);

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

TEST_F(ConfigFileTest, BackupNamesFollowTheMachinesTimeZone) {
    // Half an hour off UTC, so a name from UTC or a whole-hour shift cannot pass by chance.
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    ::setenv("TZ", "<+0530>-5:30", 1);
    ::tzset();
    platform.services.clock = std::make_shared<platform::linux_impl::LocalClock>();
    platform.reinstall();
    const std::time_t before = std::time(nullptr);
    const std::string name = QorTools::backupFileURL().filename().string();
    const std::time_t after = std::time(nullptr);
    if (previous)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();

    auto nameAt = [](std::time_t t) {
        t += 5 * 3600 + 30 * 60;
        std::tm utc{};
        ::gmtime_r(&t, &utc);
        char name[64];
        std::strftime(name, sizeof name, "config.ini.bak_%Y-%m-%d_%H-%M-%S-", &utc);
        return std::string(name);
    };
    ASSERT_EQ(name.size(), nameAt(before).size() + 4) << name;
    const std::string stamp = name.substr(0, name.size() - 4);
    EXPECT_TRUE(stamp == nameAt(before) || stamp == nameAt(after)) << name;
    EXPECT_EQ(name.find_first_not_of("0123456789", stamp.size()), std::string::npos) << name;
}

}  // namespace
