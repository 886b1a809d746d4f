// The helper on its real socket, with a scripted launchctl in a temporary system root.
#include "helper_tool/helper_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "helper_interface/helper_connection.h"
#include "helper_interface/helper_protocol.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/linux/xpc_wire.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/helper_process.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
namespace wire = platform::linux_impl::wire;
using namespace std::chrono_literals;
using nlohmann::json;
using platform::testing::startHelperProcess;
using service_management_test::statFields;
using service_management_test::writeAll;

json callOf(std::string selector, json arguments = json::array()) {
    return {{"id", 1}, {"selector", std::move(selector)}, {"arguments", std::move(arguments)}};
}

json launchctlCall(json subcommand) {
    return callOf("runQorLaunchctlWithSubcommand:completion:", json::array({subcommand}));
}

const json kVersionCall = callOf("getVersionWithCompletion:");
const json kLogDirectoryCall = callOf("createLogDirectoryWithCompletion:");

sockaddr_un addressOf(const fs::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socket.c_str());
    return address;
}

void setReadTimeout(int fd, int seconds) {
    const timeval wait{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
}

// Every read of the test's own is bounded, so that a helper that fails to answer fails the test
// rather than hanging it.
int connectTo(const fs::path& socket) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(socket);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        setReadTimeout(fd, 10);
        return fd;
    }
    ::close(fd);
    return -1;
}

struct Exchange {
    std::vector<std::pair<std::string, std::string>> logs;  // selector, text
    json answer;  // the frame that carried the id; null when the connection ended first
};

// Reads until the answer to a call, keeping the one-way log calls that came first.
Exchange answer(int fd) {
    Exchange result;
    for (;;) {
        auto frame = wire::readFrame(fd);
        if (!std::holds_alternative<json>(frame)) return result;
        const json& f = std::get<json>(frame);
        if (f.contains("id")) {
            result.answer = f;
            return result;
        }
        result.logs.emplace_back(f["selector"], f["arguments"][0]);
    }
}

Exchange call(int fd, const json& message) {
    EXPECT_TRUE(wire::writeFrame(fd, message));
    return answer(fd);
}

bool closedByPeer(int fd) {
    const auto frame = wire::readFrame(fd);
    return frame == decltype(frame){wire::ReadError::Closed};
}

// Gives every request the same answer (nothing: allowed), recording what it is asked.
struct ScriptedGate : RequestGate {
    std::optional<std::string> refusal(const Caller&, const std::string& request, int) override {
        asked.push(request);
        return answer.get();
    }
    platform::testing::Locked<std::optional<std::string>> answer;
    platform::testing::Locked<std::vector<std::string>> asked;
};

class HelperToolTest : public ::testing::Test {
protected:
    HelperToolTest() {
        launchctl("exit 0");
        serveWith(nullptr);
    }
    // (Re)starts the server with `gate` deciding, and connects to it.
    void serveWith(std::shared_ptr<RequestGate> gate) {
        stopServing();
        HelperServer::Options options;
        options.gate = std::move(gate);
        options.systemRoot = root.path();
        options.log = [this](const std::string& line) { log.push(line); };
        options.clock = clock;
        // Unlike the idle bound, so that a test can tell the two waits apart.
        options.launchctlTimeout = 30s;
        options.maxClientsPerUser = perUser;
        server = std::make_unique<HelperServer>(options);
        EXPECT_TRUE(server->listen());
        serving = std::thread([this] { server->serve(); });
        fd = connectTo(HelperServer::socketPath(root.path()));
    }
    void stopServing() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (!server) return;
        server->stop();
        serving.join();
        server.reset();
    }
    ~HelperToolTest() override { stopServing(); }
    void launchctl(const std::string& body) {
        writeAll(at("/bin/launchctl"),
                 "#!/bin/sh\nprintf '%s ' \"$@\" > \"$(dirname \"$0\")/ran\"\n" + body + "\n",
                 0755);
    }
    std::string ran() const {
        return service_management_test::readAll(at("/bin/launchctl").parent_path() / "ran");
    }
    fs::path at(std::string_view path) const {
        return platform::linux_impl::RootedSystemPaths(root.path()).resolve(path);
    }
    // Whether a client that connects now is answered; one turned away may not even be read.
    bool servesANewClient() {
        const int client = connectTo(HelperServer::socketPath(root.path()));
        wire::writeFrame(client, kVersionCall);
        const bool served = answer(client).answer["reply"] == json{HelperServer::version()};
        ::close(client);
        return served;
    }
    // Whether `count` of the server's threads wait for `from` to pass from now.
    bool waiting(std::chrono::milliseconds from, std::size_t count = 1) {
        return clock->awaitWaiters(clock->now() + from, count);
    }

    std::shared_ptr<platform::testing::FixedClock> clock =
        std::make_shared<platform::testing::FixedClock>();
    platform::testing::TempDir root;
    platform::testing::Locked<std::vector<std::string>> log;
    std::unique_ptr<HelperServer> server;
    std::thread serving;
    int fd = -1;
    std::size_t perUser = 8;
};

TEST_F(HelperToolTest, OneUserHoldsAtMostItsShareOfTheConnections) {
    perUser = 2;
    serveWith(std::make_shared<ScriptedGate>());
    const auto socket = HelperServer::socketPath(root.path());
    const int second = connectTo(socket);
    EXPECT_EQ(call(second, kVersionCall).answer["reply"], json{HelperServer::version()});
    const int third = connectTo(socket);
    EXPECT_TRUE(closedByPeer(third));
    ::close(third);
    EXPECT_EQ(log.get(),
              std::vector<std::string>{"Refused a connection from user " +
                                       std::to_string(::getuid()) + ": it has 2 open already"});
    // A place given back is taken again, once the helper has seen the connection end.
    ::close(second);
    EXPECT_TRUE(platform::testing::eventually([this] { return servesANewClient(); }));
}

TEST_F(HelperToolTest, TheLogFolderIsMadeOnlyAtItsPlaceNeverThroughALink) {
    const auto logs = at("/Library/Logs/Velmora/OrvaneStorageGateway");
    const auto elsewhere = root.path() / "elsewhere";
    fs::create_directories(elsewhere);
    // What is in the way, made before the request; the error comes back in the reply.
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"a file", [&] { writeAll(logs, "x"); }},
        {"a link to a folder", [&] { fs::create_directory_symlink(elsewhere, logs); }},
        {"a link on the way",
         [&] {
             fs::remove(logs.parent_path());
             fs::create_directory_symlink(elsewhere, logs.parent_path());
         }},
        {"a dangling link", [&] { fs::create_symlink(elsewhere / "new", logs); }},
    };
    for (const auto& [what, prepare] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(root.path() / "var");
        fs::create_directories(logs.parent_path());
        prepare();
        const auto reply = call(fd, kLogDirectoryCall).answer["reply"];
        EXPECT_TRUE(reply[1].is_object()) << reply.dump();
        EXPECT_TRUE(fs::is_empty(elsewhere));
    }
    fs::remove_all(root.path() / "var");
    EXPECT_TRUE(call(fd, kLogDirectoryCall).answer["reply"][1].is_null());
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(logs)));
}

TEST_F(HelperToolTest, EachCallIsServedByItsSelectorOrRefusedWithoutRunningAnything) {
    // Each message, its reply (null: an error), what the client is told meanwhile and what
    // launchctl was given (empty: it did not run). Its one long line is cut to fit a frame.
    launchctl(
        "case $1 in bootout) exit 36;; enable) head -c 70000 /dev/zero | tr '\\0' a; echo;"
        " exit 5;; esac");
    const std::string cut = std::string(64 * 1024, 'a') + " [4464 more bytes left out]\n";
    const std::string job = "system/com.velmora.OrvaneStorageGateway ";
    const auto plist = at("/Library/LaunchDaemons/com.velmora.OrvaneStorageGateway.plist").string();
    const json error = nullptr;
    struct Row {
        json message, reply;
        std::string told = {}, ran = {};
    };
    const std::vector<Row> rows = {
        {kVersionCall, {HelperServer::version()}},
        {launchctlCall("bootstrap"), {0}, "", "bootstrap system " + plist + " "},
        {launchctlCall("bootout"), {36}, "", "bootout " + job},
        {launchctlCall("enable"), {5}, cut, "enable " + job},
        {launchctlCall("disable"), {0}, "", "disable " + job},
        {launchctlCall("BOOTOUT"), {64}},
        {launchctlCall("bootout; touch /tmp/x"), {64}},
        {launchctlCall(7), error},
        {callOf("runShell:", {"ls"}), error},
        {callOf("runQorLaunchctlWithSubcommand:authData:completion:", {"bootout", "AAAA"}), error},
        // Its error, which quotes the selector, would not fit a frame: it gets a shorter one.
        {callOf(std::string(wire::kMaxFrameBytes - 64, 'x')), error},
    };
    const auto ranFile = at("/bin/launchctl").parent_path() / "ran";
    for (const auto& [message, reply, told, given] : rows) {
        SCOPED_TRACE(message.dump().substr(0, 120));
        fs::remove(ranFile);
        auto result = call(fd, message);
        EXPECT_EQ(result.answer.value("reply", error), reply);
        EXPECT_EQ(result.answer.contains("error"), reply.is_null());
        std::string text;
        for (const auto& [selector, line] : result.logs) text += line;
        EXPECT_TRUE(text == told) << text.size() << " bytes told";
        EXPECT_EQ(fs::exists(ranFile) ? ran() : "", given);
    }

    // A frame that cannot be read ends the connection.
    ASSERT_EQ(::write(fd, "\0\0\0\x03{x}", 7), 7);
    EXPECT_TRUE(std::holds_alternative<wire::ReadError>(wire::readFrame(fd)));
}

TEST_F(HelperToolTest, AFloodOfOneKindOfRefusalHidesNoOtherAndIsCounted) {
    auto gate = std::make_shared<ScriptedGate>();
    gate->answer.set("Refused bootout for user " + std::to_string(::getuid()) + ": not authorized");
    serveWith(gate);
    const std::string from = " from user " + std::to_string(::getuid());
    // Each kind's message, and how its line starts.
    const std::vector<std::pair<json, std::string>> kinds = {
        {launchctlCall(std::string(8000, 'x')), "Refused the launchctl subcommand \"" +
                                                    std::string(64, 'x') + "\" (7936 more bytes)" +
                                                    from},
        {launchctlCall(7), "Refused a call" + from},
        {launchctlCall("bootout"), "Refused bootout for user"},
    };
    for (int round = 0; round < 2; ++round, clock->advance(1s)) {
        for (const auto& [message, line] : kinds) {
            for (int i = 0; i < 200; ++i) call(fd, message);
        }
    }
    const auto lines = log.get();
    ASSERT_EQ(lines.size(), 2 * kinds.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].starts_with(kinds[i % kinds.size()].second)) << lines[i];
        EXPECT_EQ(lines[i].ends_with(" (199 more refusals since the last such line)"),
                  i >= kinds.size())
            << lines[i];
    }
}

TEST_F(HelperToolTest, TheGateDecidesEachRequestThatChangesTheSystem) {
    auto gate = std::make_shared<ScriptedGate>();
    serveWith(gate);
    const std::string refusal = "Refused bootout: not authorized";
    const auto ranFile = at("/bin/launchctl").parent_path() / "ran";
    for (const std::optional<std::string>& answer :
         {std::optional<std::string>(), std::optional(refusal)}) {
        SCOPED_TRACE(answer.value_or("allowed"));
        // Refusals reach the log at most once a second.
        clock->advance(1s);
        gate->answer.set(answer);
        fs::remove(ranFile);
        const auto exchange = call(fd, launchctlCall("bootout"));
        EXPECT_EQ(exchange.answer["reply"], json{answer ? 64 : 0});
        EXPECT_EQ(fs::exists(ranFile), !answer);
        using Lines = std::vector<std::pair<std::string, std::string>>;
        EXPECT_EQ(exchange.logs, (answer ? Lines{{"logWithStdErr:", refusal + "\n"}} : Lines{}));
    }
    EXPECT_EQ(log.get(), std::vector<std::string>{refusal});

    // The version needs no right; the log folder does; a subcommand that is not served is
    // refused before anyone is asked.
    EXPECT_EQ(call(fd, kVersionCall).answer["reply"], json{HelperServer::version()});
    const auto folderRefused = call(fd, kLogDirectoryCall);
    EXPECT_EQ(folderRefused.answer["reply"][1]["description"], refusal);
    EXPECT_FALSE(fs::exists(at("/Library/Logs/Velmora/OrvaneStorageGateway")));
    gate->answer.set(std::nullopt);
    EXPECT_TRUE(call(fd, kLogDirectoryCall).answer["reply"][1].is_null());
    EXPECT_EQ(call(fd, launchctlCall("BOOTOUT")).answer["reply"], json{64});
    EXPECT_EQ(gate->asked.get(),
              (std::vector<std::string>{"bootout", "bootout", "createLogDirectory",
                                        "createLogDirectory"}));
}

TEST_F(HelperToolTest, AConnectionWithoutAWholeMessageForTheIdleBoundIsClosed) {
    // Quiet for just under the bound, a connection is still served, and its bound starts again.
    ASSERT_TRUE(waiting(60s));
    clock->advance(60s - 1ms);
    EXPECT_EQ(call(fd, kVersionCall).answer["reply"], json{HelperServer::version()});

    // One peer sends a byte of a message every 20 s, another nothing at all: both are closed at
    // the bound, and meanwhile others are served.
    const int silent = connectTo(HelperServer::socketPath(root.path()));
    ASSERT_TRUE(waiting(60s, 2));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(::write(fd, "\0", 1), 1);
        clock->advance(20s);
    }
    EXPECT_TRUE(servesANewClient());
    EXPECT_TRUE(closedByPeer(fd));
    EXPECT_TRUE(closedByPeer(silent));
    ::close(silent);
    EXPECT_EQ(log.get(), std::vector<std::string>(
                             2, "Closed a connection that sent no whole message within 60000 ms"));
}

TEST_F(HelperToolTest, RefusedConnectionsAreLoggedAtMostOnceASecond) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    ::chmod(root.path().c_str(), 0755);
    const auto socket = HelperServer::socketPath(root.path());
    const std::string refused = "Refused a connection from user 65534";
    struct Step {
        std::chrono::milliseconds after;  // time that passes first
        int connections;                  // then this many connect as nobody
        std::vector<std::string> logged;  // the log so far
    };
    const std::vector<Step> steps = {
        {0ms, 3000, {refused}},
        {999ms, 1, {refused}},
        {1ms, 1, {refused, refused + " (3000 more refusals since the last such line)"}},
    };
    for (const auto& [after, connections, logged] : steps) {
        SCOPED_TRACE(after.count());
        clock->advance(after);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            for (int i = 0; i < connections; ++i) {
                const int peer = connectTo(socket);
                if (peer < 0) ::_exit(3);
                ::close(peer);
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_EQ(WEXITSTATUS(status), 0);
        // Connections are taken in turn: once a later one is served, those were all refused.
        EXPECT_TRUE(servesANewClient());
        EXPECT_EQ(log.get(), logged);
    }
}

// Whether every thread of `pid` is found blocked within 5 s; one that spins never is.
bool settlesAsleep(pid_t pid) {
    return platform::testing::eventually(
        [pid] {
            const fs::directory_iterator tasks("/proc/" + std::to_string(pid) + "/task");
            return std::all_of(begin(tasks), end(tasks), [](const auto& task) {
                const auto fields = statFields(task.path() / "stat");
                return !fields.empty() && fields[0] == "S";
            });
        },
        5s);
}

// The helper program in the in-process server's place, killed with the test.
class HelperToolProgram : public HelperToolTest {
protected:
    ~HelperToolProgram() override {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    // Starts it with `environment` besides its system root; its process id, or -1.
    pid_t start(const std::vector<std::string>& environment = {}) {
        stopServing();
        return pid = startHelperProcess(ORVANE_HELPER_PROGRAM, root.path(),
                                        HelperServer::socketPath(root.path()), environment);
    }
    pid_t pid = -1;
};

TEST_F(HelperToolProgram, ThousandsOfClientsAndAFullDescriptorTable) {
    ASSERT_GT(start(), 0);
    const auto socket = HelperServer::socketPath(root.path());
    // Room for what the helper may hold at once (32 client threads' stacks, and a malloc arena
    // of 64 MiB for each of up to 8 per core), far short of what leaked threads would take.
    const rlimit space{rlim_t{4} << 30, rlim_t{4} << 30};
    // The sanitizers reserve far more address space than any limit.
    ASSERT_EQ(ORVANE_SANITIZED ? 0 : ::prlimit(pid, RLIMIT_AS, &space, nullptr), 0);
    for (int i = 0; i < 3000; ++i) ASSERT_TRUE(servesANewClient()) << "client " << i;

    // Idle clients take every descriptor: the helper neither leaves a newcomer hanging nor spins.
    const rlimit few{20, 20};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &few, nullptr), 0);
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) idle.push_back(connectTo(socket));
    const int late = connectTo(socket);
    wire::writeFrame(late, kVersionCall);
    // Turned away (an end or a reset) or served, if a descriptor was freed meanwhile; and with it
    // every client before it was taken off the queue.
    char byte = 0;
    EXPECT_TRUE(::read(late, &byte, 1) >= 0 || errno != EAGAIN) << "left waiting";
    EXPECT_TRUE(settlesAsleep(pid)) << "a thread of the helper keeps running";
    for (int client : idle) ::close(client);
    ::close(late);
    EXPECT_EQ(::kill(pid, 0), 0) << "the helper is still running";
}

// The app's side: a launchctl call on the real client connection, on a virtual queue. The error
// the connection tells within 5 s, with `meanwhile` run once the call is on its way.
std::optional<platform::XpcError> failureOfACall(const fs::path& root,
                                                 const std::function<void()>& meanwhile) {
    auto dispatch = std::make_shared<platform::testing::VirtualDispatch>();
    platform::linux_impl::UnixXpcConnector connector(
        std::make_shared<platform::linux_impl::RootedSystemPaths>(root), dispatch);
    auto connection = connector.connectToMachService(std::string(kHelperMachServiceName),
                                                     kXPCConnectionPrivileged);
    connection->setRemoteInterface(HelperProtocol);
    connection->resume();
    std::optional<platform::XpcError> failure;
    HelperProtocolProxy(connection->remoteObjectProxyWithErrorHandler(
                            [&](const platform::XpcError& error) { failure = error; }))
        .runQorLaunchctlWithSubcommand("bootout",
                                       [](std::int64_t) { ADD_FAILURE() << "answered"; });
    meanwhile();
    dispatch->pumpUntil([&] { return failure.has_value(); }, std::chrono::seconds(5));
    connection->invalidate();
    return failure;
}

TEST_F(HelperToolProgram, AKilledHelperFailsTheWaitingRequestAndNothingHangs) {
    // launchctl says on a FIFO that it runs; opened first, so that saying it does not block.
    const auto started = at("/bin/launchctl").parent_path() / "started";
    ASSERT_EQ(::mkfifo(started.c_str(), 0600), 0);
    const int runs = ::open(started.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    launchctl("echo > \"$(dirname \"$0\")/started\"\nsleep 20");
    ASSERT_GT(start(), 0);
    // The orphaned launchctl still holds its pipes, not the client's socket; the fixture reaps.
    const auto failure = failureOfACall(root.path(), [this, runs] {
        pollfd said{runs, POLLIN, 0};
        EXPECT_EQ(::poll(&said, 1, 5000), 1) << "launchctl did not run";
        ::close(runs);
        ::kill(pid, SIGKILL);
    });
    ASSERT_TRUE(failure) << "no error within 5 s";
    EXPECT_EQ(failure->code, platform::kXpcConnectionInterrupted);
}

TEST_F(HelperToolProgram, PolkitDecidesTheRealHelpersRequestsOverTheBus) {
    // Throws, saying to run scripts/install-deps, when dbusmock is missing.
    platform::testing::MockPolkit polkit(root.path());
    ASSERT_GT(start({"ORVANE_HELPER_ASK_POLKIT=1", "DBUS_SYSTEM_BUS_ADDRESS=" + polkit.address()}),
              0);
    fd = connectTo(HelperServer::socketPath(root.path()));
    const auto refused = call(fd, launchctlCall("enable"));
    polkit.setOutcome(PolkitGate::kAction, "allow");
    EXPECT_EQ(call(fd, launchctlCall("disable")).answer["reply"], json{0});
    EXPECT_EQ(ran(), "disable system/com.velmora.OrvaneStorageGateway ");
    EXPECT_EQ(refused.answer["reply"], json{64});
    ASSERT_EQ(refused.logs.size(), 1u);
    EXPECT_TRUE(refused.logs[0].second.ends_with(": not authorized\n")) << refused.logs[0].second;
    // polkit was asked about this very process, for the request, with a prompt allowed (flag 1).
    const auto calls = polkit.calls();
    ASSERT_FALSE(calls.empty());
    const std::string& check = calls.back();
    for (const auto& part :
         {std::string("CheckAuthorization dbus.Struct((dbus.String('unix-process')"),
          "UInt32(" + std::to_string(::getpid()) + ",",
          "UInt64(" + statFields("/proc/self/stat").at(19) + ",",
          "Int32(" + std::to_string(::getuid()) + ",",
          std::string("\"") + PolkitGate::kAction + "\" {\"subcommand\": \"disable\"} 1 "}) {
        EXPECT_NE(check.find(part), std::string::npos) << part << " not in " << check;
    }
}

TEST(HelperToolSocket, AnImpostorOnTheHelpersSocketIsRefusedBeforeAnythingIsSent) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
    platform::testing::TempDir root;
    const auto socket = HelperServer::socketPath(root.path());
    fs::create_directories(socket.parent_path());
    int ready[2];
    // Close-on-exec: a helper started by a later test must not inherit it.
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t impostor = ::fork();
    if (impostor == 0) {
        // Bound as root, listening as nobody: the peer's credentials are taken at listen().
        ::alarm(10);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = addressOf(socket);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::chmod(socket.c_str(), 0666) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
            ::listen(fd, 4) != 0 || ::write(ready[1], "x", 1) != 1) {
            ::_exit(2);
        }
        const int client = ::accept(fd, nullptr, nullptr);
        setReadTimeout(client, 2);
        char byte = 0;
        ::_exit(::read(client, &byte, 1) > 0 ? 1 : 0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    const auto failure = failureOfACall(root.path(), [] {});
    EXPECT_EQ(failure.value_or(platform::XpcError{}).code, platform::kXpcConnectionInvalid);
    int status = 0;
    ::waitpid(impostor, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the impostor was not asked, or the call reached it";
}

}  // namespace
