// The app's side of the helper connection against real processes: a helper killed at each step
// of a restart, and a process that is not the helper listening on the helper's socket path.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "app/app_delegate.h"
#include "helper_interface/helper_connection.h"
#include "helper_interface/helper_protocol.h"
#include "helper_tool/helper_server.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/testing/helper_process.h"
#include "platform/testing/recording_status_bar.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/threaded_connections.h"

namespace {

using namespace platform::testing;
using namespace std::chrono_literals;

// Notes each subcommand, and kills its caller (the helper) at the one named in var/run/kill-at.
// The name is read before the step is noted, so a test that sees the step may change it safely.
constexpr char kLaunchctl[] = R"sh(#!/bin/sh
run="$(dirname "$0")/../var/run"
kill_at="$(cat "$run/kill-at")"
echo "$1" >> "$run/steps"
[ "$1" = "$kill_at" ] && kill -KILL "$PPID"
exit 0
)sh";

class HelperWireFaultsTest : public ::testing::Test {
protected:
    HelperWireFaultsTest() {
        platform.writeFile("/bin/launchctl", kLaunchctl);
        ::chmod(platform.resolve("/bin/launchctl").c_str(), 0755);
        std::filesystem::create_directories(platform.resolve("/var/run"));
        platform.bundle->embeddedInfo[platform.bundle->bundlePath() /
                                      "Contents/Library/LaunchServices/com.velmora.QorPrivilegedHelper"] =
            {{"CFBundleShortVersionString", HelperServer::version()}};
    }

    // The installed helper, as its own process.
    pid_t startHelper() {
        return startHelperProcess(ORVANE_HELPER_PATH, platform.root.path(),
                                  HelperServer::socketPath(platform.root.path()));
    }

    // Lets up to 10 s of virtual time pass in small steps while the threads work, until `done`.
    bool settle(const std::function<bool()>& done) {
        for (int i = 0; i < 1000; ++i) {
            if (done()) return true;
            platform.dispatch->advance(platform::seconds(0.01));
            std::this_thread::sleep_for(5ms);
        }
        return done();
    }

    std::vector<std::string> steps() {
        std::ifstream in(platform.resolve("/var/run/steps"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    TestPlatform platform;
    ThreadedConnections dispatch{*platform.dispatch};
    platform::linux_impl::UnixXpcConnector connector{
        platform.paths, std::shared_ptr<platform::Dispatch>(&dispatch, [](auto*) {})};
    RecordingStatusBar statusBar;
};

TEST_F(HelperWireFaultsTest, AHelperKilledAtAnyStepOfARestartGivesTheItemBack) {
    // An unknown status with start on boot off restarts through all four steps.
    platform.processes->setResult({"launchctl is missing", false, 0, ""});
    platform.defaults->setValue("StartOnBoot", false);
    const std::vector<std::string> chain = {"bootout", "enable", "bootstrap", "disable"};
    for (std::size_t k = 0; k < chain.size(); ++k) {
        SCOPED_TRACE("killed at " + chain[k]);
        platform.writeFile("/var/run/kill-at", "\n");
        std::filesystem::remove(platform.resolve("/var/run/steps"));
        platform.log->clear();
        const pid_t helper = startHelper();
        auto delegate = std::make_unique<AppDelegate>(statusBar, *platform.dispatch, *platform.defaults,
                                                      *platform.bundle, connector,
                                                      *platform.serviceManagement, *platform.application);
        delegate->applicationDidFinishLaunching();
        ASSERT_TRUE(settle([&] { return delegate->helperIsInstalled(); }));
        // Start-up's own "disable" (start on boot is off) lands before the chain is armed.
        ASSERT_TRUE(settle([&] { return steps() == std::vector<std::string>{"disable"}; }));
        platform.writeFile("/var/run/kill-at", chain[k] + "\n");
        std::filesystem::remove(platform.resolve("/var/run/steps"));
        delegate->perform("startStopAction");
        ASSERT_FALSE(delegate->menuItemStartStop()->isEnabled());
        // Well inside the 30 s that a silent helper is given: the lost connection itself answers.
        EXPECT_TRUE(settle([&] { return delegate->menuItemStartStop()->isEnabled(); }));
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; i < 500 && (ended = ::waitpid(helper, &status, WNOHANG)) == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        if (ended == 0) {
            ::kill(helper, SIGKILL);
            ::waitpid(helper, nullptr, 0);
        }
        EXPECT_TRUE(ended == helper && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(steps(), std::vector<std::string>(chain.begin(), chain.begin() + k + 1));
        EXPECT_TRUE(platform.log->contains("Helper connection was closed with error: "));
        delegate.reset();
    }
}

TEST_F(HelperWireFaultsTest, AnImpostorOnTheHelpersSocketIsRefusedBeforeAnythingIsSent) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
    const auto path = HelperServer::socketPath(platform.root.path());
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t impostor = ::fork();
    if (impostor == 0) {
        // Bound as root, listening as nobody: the peer credentials are taken at listen().
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::chmod(path.c_str(), 0666) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
            ::listen(fd, 4) != 0) {
            ::_exit(2);
        }
        const int client = ::accept(fd, nullptr, nullptr);
        pollfd wait{client, POLLIN, 0};
        char byte = 0;
        ::poll(&wait, 1, 2000);
        const char received = ::read(client, &byte, 1) > 0 ? 1 : 0;
        [[maybe_unused]] auto n = ::write(report[1], &received, 1);
        ::_exit(0);
    }
    ::close(report[1]);
    for (int i = 0; i < 200 && !std::filesystem::exists(path); ++i) std::this_thread::sleep_for(10ms);

    auto connection = connector.connectToMachService(std::string(kHelperMachServiceName),
                                                     platform::XpcConnector::kPrivileged);
    connection->setRemoteInterface(HelperProtocol);
    connection->resume();
    std::atomic<long> code{0};
    HelperProtocolProxy(connection->remoteObjectProxyWithErrorHandler(
                            [&](const platform::XpcError& error) { code = error.code; }))
        .getVersionWithCompletion([](const std::string&) { ADD_FAILURE() << "an impostor answered"; });
    for (int i = 0; i < 500 && code == 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(code.load(), platform::kXpcConnectionInvalid);
    connection->invalidate();

    char received = 1;
    EXPECT_EQ(::read(report[0], &received, 1), 1);
    EXPECT_EQ(received, 0) << "the call reached a process that is not the helper";
    ::close(report[0]);
    ::waitpid(impostor, nullptr, 0);
}

}  // namespace
