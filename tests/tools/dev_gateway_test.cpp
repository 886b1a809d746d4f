// The development gateway as systemd runs it, for what the system test never does with it: a
// reload. Its start, its refusal of a configuration and its log run under systemd there.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using service_management_test::readAll;

constexpr char kToken[] = "token-that-must-never-be-shown";

// Replaced in one step, as the app writes it, so a reload never reads half a file.
void writeConfig(const fs::path& file, const fs::path& log, const std::string& storage) {
    std::ofstream(file.string() + ".new")
        << "[main]\napp-id = app-1\nstorage-id = " << storage
        << "\norvane-url = https://orvane.example/\nauth-token = " << kToken
        << "\nsleep-time = 1\nlog-filename = " << log.string() << "\n";
    fs::rename(file.string() + ".new", file);
}

TEST(DevGateway, ReportsReadyReloadsOnHangUpAndStopsOnTerm) {
    platform::testing::TempDir dir;
    const fs::path config = dir.path() / "config.ini", log = dir.path() / "gateway.log";
    writeConfig(config, log, "storage-1");
    // A datagram socket where NOTIFY_SOCKET says, as systemd gives a Type=notify service.
    const fs::path socketPath = dir.path() / "notify";
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto next = [&]() -> std::optional<std::string> {
        pollfd p{notify, POLLIN, 0};
        char buffer[4096];
        if (::poll(&p, 1, 60'000) != 1) return std::nullopt;
        const ssize_t n = ::recv(notify, buffer, sizeof buffer, 0);
        return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, n));
    };

    // Only NOTIFY_SOCKET in its environment.
    const auto started = platform::linux_impl::PosixProcessRunner().start(
        "/usr/bin/env",
        {"-i", "NOTIFY_SOCKET=" + socketPath.string(), ORVANE_DEV_GATEWAY, config.string()});
    ASSERT_TRUE(started.process) << started.startError.value_or("");
    const int pid = started.process->processIdentifier();
    const struct Reaper {
        const platform::ChildProcess& child;
        ~Reaper() {
            if (child.isRunning()) ::kill(child.processIdentifier(), SIGKILL);
        }
    } reaper{*started.process};

    EXPECT_EQ(next(), "READY=1");
    writeConfig(config, log, "storage-2");
    ::kill(pid, SIGHUP);
    EXPECT_EQ(next(), "RELOADING=1");
    EXPECT_EQ(next(), "READY=1");
    EXPECT_NE(readAll(log).find(" reload: app-id app-1, storage-id storage-2"), std::string::npos);

    ::kill(pid, SIGTERM);
    EXPECT_EQ(next(), "STOPPING=1");
    ASSERT_TRUE(platform::testing::eventually([&] { return !started.process->isRunning(); }));
    EXPECT_EQ(started.process->exitStatus(), 0);
    const std::string text = readAll(log);
    EXPECT_TRUE(text.ends_with(" stop\n")) << text;
    EXPECT_EQ(text.find(kToken), std::string::npos);
    ::close(notify);
}

}  // namespace
