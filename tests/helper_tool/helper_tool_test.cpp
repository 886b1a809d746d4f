// The helper on its real socket, with a scripted launchctl in a temporary system root.
#include "helper_tool/helper_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "helper_interface/helper_connection.h"
#include "helper_interface/helper_protocol.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/linux/xpc_wire.h"
#include "platform/testing/test_platform.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace wire = platform::linux_impl::wire;
using nlohmann::json;

int connectTo(const fs::path& socket) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
    return -1;
}

struct Exchange {
    std::vector<std::pair<std::string, std::string>> logs;  // selector, text
    json answer;                                             // the frame that carried the id
    bool closed = false;
};

// Sends one call and reads until its answer, keeping the one-way log calls that came first.
Exchange call(int fd, const json& message) {
    Exchange result;
    EXPECT_TRUE(wire::writeFrame(fd, message));
    for (;;) {
        auto frame = wire::readFrame(fd);
        if (!std::holds_alternative<json>(frame)) {
            result.closed = true;
            return result;
        }
        const json& f = std::get<json>(frame);
        if (f.contains("id")) {
            result.answer = f;
            return result;
        }
        result.logs.emplace_back(f["selector"], f["arguments"][0]);
    }
}

json launchctlCall(json subcommand, int id = 1) {
    return {{"id", id}, {"selector", "runQorLaunchctlWithSubcommand:completion:"}, {"arguments", {subcommand}}};
}

class HelperToolTest : public ::testing::Test {
protected:
    HelperToolTest() {
        fs::create_directories(root.path() / "bin");
        launchctl("echo \"out $1\"; echo \"err $1\" >&2; exit 0");
        HelperServer::Options options;
        options.systemRoot = root.path();
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
        server = std::make_unique<HelperServer>(options);
        EXPECT_TRUE(server->listen());
        serving = std::thread([this] { server->serve(); });
        fd = connectTo(HelperServer::socketPath(root.path()));
    }
    ~HelperToolTest() override {
        if (fd >= 0) ::close(fd);
        server->stop();
        serving.join();
    }
    void launchctl(const std::string& body) {
        const auto file = root.path() / "bin/launchctl";
        std::ofstream(file) << "#!/bin/sh\nprintf '%s ' \"$@\" > \"$(dirname \"$0\")/ran\"\n" << body << "\n";
        ::chmod(file.c_str(), 0755);
    }
    std::string ran() const {
        std::ifstream in(root.path() / "bin/ran");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::vector<std::string> logLines() {
        std::lock_guard lock(logMutex);
        return log;
    }

    platform::testing::TempDir root;
    std::mutex logMutex;
    std::vector<std::string> log;
    std::unique_ptr<HelperServer> server;
    std::thread serving;
    int fd = -1;
};

TEST_F(HelperToolTest, AnswersItsVersionAndPreparesTheLogDirectory) {
    auto version = call(fd, {{"id", 1}, {"selector", "getVersionWithCompletion:"}, {"arguments", json::array()}});
    EXPECT_EQ(version.answer["reply"], json{HelperServer::version()});
    auto logs = call(fd, {{"id", 2}, {"selector", "createLogDirectoryWithCompletion:"}, {"arguments", json::array()}});
    ASSERT_EQ(logs.answer["reply"].size(), 2u);
    EXPECT_TRUE(logs.answer["reply"][1].is_null());
    EXPECT_TRUE(fs::is_directory(root.path() / "Library/Logs/Velmora/OrvaneStorageGateway"));

    // The folder's place is taken by a file: the error comes back in the reply.
    fs::remove_all(root.path() / "Library/Logs");
    std::ofstream(root.path() / "Library/Logs") << "x";
    auto failed = call(fd, {{"id", 3}, {"selector", "createLogDirectoryWithCompletion:"}, {"arguments", json::array()}});
    EXPECT_TRUE(failed.answer["reply"][1].is_object());
}

TEST_F(HelperToolTest, RunsEachSubcommandOnTheGatewayJobAndStreamsItsOutput) {
    struct Case {
        std::string subcommand;
        std::string args;
        int status;
    };
    const std::vector<Case> cases = {
        {"bootstrap",
         "bootstrap system " +
             (root.path() / "Library/LaunchDaemons/com.velmora.OrvaneStorageGateway.plist").string() + " ",
         0},
        {"bootout", "bootout system/com.velmora.OrvaneStorageGateway ", 36},
        {"enable", "enable system/com.velmora.OrvaneStorageGateway ", 5},
        {"disable", "disable system/com.velmora.OrvaneStorageGateway ", 0},
    };
    int id = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.subcommand);
        launchctl("echo \"out $1\"; echo \"err $1\" >&2; exit " + std::to_string(c.status));
        auto result = call(fd, launchctlCall(c.subcommand, ++id));
        EXPECT_EQ(result.answer["id"], id);
        EXPECT_EQ(result.answer["reply"], json{c.status});
        EXPECT_EQ(ran(), c.args);
        std::sort(result.logs.begin(), result.logs.end());
        EXPECT_EQ(result.logs, (std::vector<std::pair<std::string, std::string>>{
                                   {"logWithStdErr:", "err " + c.subcommand + "\n"},
                                   {"logWithStdOut:", "out " + c.subcommand + "\n"}}));
    }
}

TEST_F(HelperToolTest, RefusesEverythingElseWithoutRunningAnything) {
    struct Case {
        const char* name;
        json message;
        const char* answer;  // "status", "error" or "closed"
    };
    const std::vector<Case> cases = {
        {"other word", launchctlCall("kickstart"), "status"},
        {"extra text", launchctlCall("bootout system/other"), "status"},
        {"upper case", launchctlCall("BOOTOUT"), "status"},
        {"shell text", launchctlCall("bootout; touch /tmp/x"), "status"},
        {"empty", launchctlCall(""), "status"},
        {"wrong type", launchctlCall(7), "error"},
        {"unknown selector", {{"id", 1}, {"selector", "runShell:"}, {"arguments", {"ls"}}}, "error"},
        {"never served",
         {{"id", 1}, {"selector", "runQorLaunchctlWithSubcommand:authData:completion:"}, {"arguments", {"bootout", "AAAA"}}},
         "error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = logLines().size();
        auto result = call(fd, c.message);
        ASSERT_FALSE(result.closed);
        if (std::string(c.answer) == "status") {
            EXPECT_EQ(result.answer["reply"], json{64});
        } else {
            EXPECT_TRUE(result.answer.contains("error"));
        }
        EXPECT_TRUE(result.logs.empty());
        EXPECT_EQ(logLines().size(), before + 1) << "each refusal is logged once";
    }
    EXPECT_FALSE(fs::exists(root.path() / "bin/ran"));

    // Frames that cannot be read end the connection.
    for (const std::string& bytes : {std::string("\x7f\xff\xff\xff", 4), std::string("\0\0\0\x03{x}", 7)}) {
        const int other = connectTo(HelperServer::socketPath(root.path()));
        ASSERT_EQ(::write(other, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        auto after = wire::readFrame(other);
        ASSERT_TRUE(std::holds_alternative<wire::ReadError>(after));
        ::close(other);
    }
    EXPECT_FALSE(fs::exists(root.path() / "bin/ran"));
}

TEST_F(HelperToolTest, TwoClientsAreServedAtOnce) {
    launchctl("sleep 1; exit 0");
    std::thread slow([&] { EXPECT_EQ(call(fd, launchctlCall("bootout")).answer["reply"], json{0}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int other = connectTo(HelperServer::socketPath(root.path()));
    const auto start = std::chrono::steady_clock::now();
    auto version = call(other, {{"id", 1}, {"selector", "getVersionWithCompletion:"}, {"arguments", json::array()}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900))
        << "the second client does not wait for the first one's launchctl";
    EXPECT_EQ(version.answer["reply"], json{HelperServer::version()});
    slow.join();
    ::close(other);
}

TEST(HelperToolBounds, AHungLaunchctlIsKilledAndTheRequestStillAnswered) {
    platform::testing::TempDir root;
    fs::create_directories(root.path() / "bin");
    // It also leaves a child behind that holds the output pipe open.
    std::ofstream(root.path() / "bin/launchctl") << "#!/bin/sh\nsleep 3 &\nsleep 30\n";
    ::chmod((root.path() / "bin/launchctl").c_str(), 0755);
    std::vector<std::string> log;
    std::mutex logMutex;
    HelperServer::Options options;
    options.systemRoot = root.path();
    options.log = [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log.push_back(line);
    };
    options.launchctlTimeout = std::chrono::milliseconds(300);
    HelperServer server(options);
    ASSERT_TRUE(server.listen());
    std::thread serving([&] { server.serve(); });
    const int fd = connectTo(HelperServer::socketPath(root.path()));
    const auto start = std::chrono::steady_clock::now();
    auto result = call(fd, launchctlCall("bootout"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(result.answer["reply"], json{128 + SIGKILL});
    ASSERT_FALSE(result.logs.empty());
    EXPECT_EQ(result.logs.back().second, "launchctl bootout did not exit within 300 ms and was killed\n");
    ::close(fd);
    server.stop();
    serving.join();
    std::lock_guard lock(logMutex);
    EXPECT_EQ(log, std::vector<std::string>{"launchctl bootout did not exit within 300 ms and was killed"});
}

TEST(HelperToolProgram, AKilledHelperFailsTheWaitingRequestAndNothingHangs) {
    platform::testing::TempDir root;
    fs::create_directories(root.path() / "bin");
    std::ofstream(root.path() / "bin/launchctl") << "#!/bin/sh\nsleep 5\n";
    ::chmod((root.path() / "bin/launchctl").c_str(), 0755);
    const std::string env = "ORVANE_SYSTEM_ROOT=" + root.path().string();
    char* envp[] = {const_cast<char*>(env.c_str()), nullptr};
    char* argv[] = {const_cast<char*>(ORVANE_HELPER_PROGRAM), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, ORVANE_HELPER_PROGRAM, nullptr, nullptr, argv, envp), 0);
    ::close(connectTo(HelperServer::socketPath(root.path())));  // listening now

    // The app's side of it: the real client connection on its own queue.
    auto dispatch = std::make_shared<platform::testing::VirtualDispatch>();
    platform::linux_impl::UnixXpcConnector connector(
        std::make_shared<platform::linux_impl::RootedSystemPaths>(root.path()), dispatch);
    auto connection = connector.connectToMachService(std::string(kHelperMachServiceName),
                                                     kXPCConnectionPrivileged);
    connection->setRemoteInterface(HelperProtocol);
    connection->resume();
    std::optional<platform::XpcError> failure;
    bool replied = false;
    HelperProtocolProxy(connection->remoteObjectProxyWithErrorHandler(
                            [&](const platform::XpcError& error) { failure = error; }))
        .runQorLaunchctlWithSubcommand("bootout", [&](std::int64_t) { replied = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // The orphaned launchctl still holds its pipes, not the client's socket.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dispatch->pumpUntil([&] { return failure.has_value(); }, std::chrono::seconds(5)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(replied);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, platform::kXpcConnectionInterrupted);
    connection->invalidate();
}

}  // namespace
