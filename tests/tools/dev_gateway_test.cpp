// The development gateway as systemd runs it: configuration checks, the readiness notification,
// heartbeats, reloading and stopping, observed through its log, its socket message and its exit.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using service_management_test::readAll;

// Only bounds a broken gateway; every wait ends at the awaited event.
constexpr auto kDeadline = 60s;
constexpr int kDeadlineMs = 60'000;
constexpr char kToken[] = "token-that-must-never-be-shown";

using Config = std::map<std::string, std::string>;

Config fullConfig(const fs::path& log) {
    return {{"app-id", "app-1"},
            {"storage-id", "storage-1"},
            {"orvane-url", "https://orvane.example/"},
            {"auth-token", kToken},
            {"sleep-time", "1"},
            {"log-filename", log.string()}};
}

// Replaced in one step, as the app writes it, so a reload never reads half a file.
void writeConfig(const fs::path& file, const Config& config) {
    std::ofstream out(file.string() + ".new");
    out << "[main]\n";
    for (const auto& [key, value] : config) out << key << " = " << value << "\n";
    out.close();
    fs::rename(file.string() + ".new", file);
}

// The gateway started with only NOTIFY_SOCKET in its environment, and a datagram socket bound
// there, as systemd gives a Type=notify service.
class RunningGateway {
public:
    RunningGateway(const fs::path& folder, const fs::path& config) {
        const fs::path socketPath = folder / "notify";
        notify_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(notify_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

        const std::string program = ORVANE_DEV_GATEWAY;
        const std::string env = "NOTIFY_SOCKET=" + socketPath.string();
        const std::string configArg = config.string();
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(configArg.c_str()),
                        nullptr};
        char* envp[] = {const_cast<char*>(env.c_str()), nullptr};
        EXPECT_EQ(::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp), 0);
        // Called directly: glibc 2.36 declares pidfd_open without C linkage for C++.
        pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }
    ~RunningGateway() {
        if (!exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {notify_, pidfd_}) ::close(fd);
    }

    // The next message on the notification socket.
    std::optional<std::string> notification() {
        pollfd p{notify_, POLLIN, 0};
        if (::poll(&p, 1, kDeadlineMs) != 1) return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::recv(notify_, buffer, sizeof buffer, 0);
        return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, n));
    }
    // Whether the log comes to hold `text` `count` times.
    static bool waitForLog(const fs::path& log, const std::string& text, int count = 1) {
        for (const auto deadline = Clock::now() + kDeadline; Clock::now() < deadline;
             std::this_thread::sleep_for(10ms)) {
            const std::string contents = readAll(log);
            int found = 0;
            for (auto at = contents.find(text); at != std::string::npos;
                 at = contents.find(text, at + 1)) {
                ++found;
            }
            if (found >= count) return true;
        }
        return false;
    }
    std::optional<int> exitStatus() {
        pollfd p{pidfd_, POLLIN, 0};
        if (::poll(&p, 1, kDeadlineMs) != 1) return std::nullopt;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exited_ = true;
        return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int notify_ = -1, pidfd_ = -1;
    bool exited_ = false;
};

TEST(DevGateway, RefusesAnIncompleteConfiguration) {
    platform::testing::TempDir dir;
    const fs::path config = dir.path() / "config.ini";
    const std::string url = "Configuration file file://" + config.string() + ": ";
    platform::linux_impl::PosixProcessRunner runner;
    const struct {
        const char* key;
        std::optional<std::string> value;  // nothing: the key is left out
        std::string line;
    } cases[] = {
        {"app-id", std::nullopt, url + "app-id is missing or empty"},
        {"storage-id", "  ", url + "storage-id is missing or empty"},
        {"orvane-url", std::nullopt, url + "orvane-url is missing or empty"},
        {"auth-token", "", url + "auth-token is missing or empty"},
        {"sleep-time", "5s", url + "sleep-time must be a whole number of seconds from 1 to 86400"},
        {"sleep-time", "0", url + "sleep-time must be a whole number of seconds from 1 to 86400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key + (" " + c.value.value_or("left out")));
        Config values = fullConfig(dir.path() / "gateway.log");
        if (c.value) {
            values[c.key] = *c.value;
        } else {
            values.erase(c.key);
        }
        writeConfig(config, values);
        const auto result = runner.run(ORVANE_DEV_GATEWAY, {config.string()}, kDeadline);
        EXPECT_EQ(result.status, 78);
        EXPECT_EQ(result.output, c.line + "\n");
        EXPECT_FALSE(fs::exists(dir.path() / "gateway.log"));
    }
    const auto missing =
        runner.run(ORVANE_DEV_GATEWAY, {(dir.path() / "none.ini").string()}, kDeadline);
    EXPECT_EQ(missing.status, 78);
    EXPECT_EQ(missing.output, "Could not open configuration file file://" +
                                  (dir.path() / "none.ini").string() +
                                  ": No such file or directory\n");
}

TEST(DevGateway, RunsAsANotifyService) {
    platform::testing::TempDir dir;
    const fs::path config = dir.path() / "config.ini";
    const fs::path log = dir.path() / "gateway.log";
    Config values = fullConfig(log);
    writeConfig(config, values);
    RunningGateway gateway(dir.path(), config);

    EXPECT_EQ(gateway.notification(), "READY=1");
    // Ready only after it has started for real.
    EXPECT_NE(readAll(log).find(" start: app-id app-1, storage-id storage-1, "
                                "orvane-url https://orvane.example/, sleep-time 1 s\n"),
              std::string::npos);
    EXPECT_TRUE(gateway.waitForLog(log, " heartbeat\n", 2));

    values["storage-id"] = "storage-2";
    writeConfig(config, values);
    ::kill(gateway.pid(), SIGHUP);
    EXPECT_TRUE(gateway.waitForLog(log, " reload: app-id app-1, storage-id storage-2"));
    EXPECT_EQ(gateway.notification(), "RELOADING=1");
    EXPECT_EQ(gateway.notification(), "READY=1");

    values.erase("auth-token");
    writeConfig(config, values);
    ::kill(gateway.pid(), SIGHUP);
    EXPECT_TRUE(gateway.waitForLog(log, " reload failed; the previous configuration stays\n"));

    ::kill(gateway.pid(), SIGTERM);
    EXPECT_EQ(gateway.exitStatus(), 0);
    const std::string text = readAll(log);
    EXPECT_TRUE(text.ends_with(" stop\n")) << text;
    EXPECT_EQ(text.find(kToken), std::string::npos);
}

}  // namespace
