// What one request to the privileged helper costs end to end (the app's connection, the socket,
// the helper program), next to the floor of a bare socket ping-pong; what the helper adds
// around a launchctl run, next to spawning the same script directly; and what asking polkit
// about each request adds (over D-Bus, polkit's stand-in on a private bus).
//
// Every benchmark times each iteration itself and reports its percentiles (bench/timing.h).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/timing.h"
#include "helper_interface/helper_connection.h"
#include "helper_interface/helper_protocol.h"
#include "helper_tool/helper_server.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/linux/worker_queue.h"
#include "platform/linux/xpc_wire.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"

namespace {

namespace fs = std::filesystem;
namespace wire = platform::linux_impl::wire;
using bench::Clock;
using bench::Samples;
using bench::timeEach;
using nlohmann::json;

constexpr char kServiceTarget[] = "system/com.velmora.OrvaneStorageGateway";
// Only guards against a hung peer; a sample never comes near it.
constexpr auto kWatchdog = std::chrono::seconds(10);

int connectTo(const fs::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.string().size() >= sizeof address.sun_path) return -1;
    std::strcpy(address.sun_path, socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

// The real helper program in a temporary system root whose launchctl does nothing; given
// `environment` ("NAME=value" each) besides.
class HelperProcess {
public:
    explicit HelperProcess(const std::vector<std::string>& environment = {}) {
        launchctl_ =
            platform::linux_impl::RootedSystemPaths(root_.path()).resolve("/bin/launchctl");
        fs::create_directories(launchctl_.parent_path());
        std::ofstream(launchctl_) << "#!/bin/sh\nexit 0\n";
        ::chmod(launchctl_.c_str(), 0755);

        const std::string rootVar = "ORVANE_SYSTEM_ROOT=" + root_.path().string();
        char pathVar[] = "PATH=/usr/bin:/bin";
        std::vector<char*> envp{const_cast<char*>(rootVar.c_str()), pathVar};
        for (const auto& variable : environment)
            envp.push_back(const_cast<char*>(variable.c_str()));
        envp.push_back(nullptr);
        char* argv[] = {const_cast<char*>(ORVANE_HELPER_PROGRAM), nullptr};
        if (::posix_spawn(&pid_, ORVANE_HELPER_PROGRAM, nullptr, nullptr, argv, envp.data()) != 0) {
            pid_ = -1;
            return;
        }
        // Ready once it accepts; the probe's empty connection ends quietly on its side.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < deadline) {
            const int fd = connectTo(socket());
            if (fd >= 0) {
                ::close(fd);
                ready_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~HelperProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    bool ready() const { return ready_; }
    const fs::path& root() const { return root_.path(); }
    const fs::path& launchctl() const { return launchctl_; }
    fs::path socket() const { return HelperServer::socketPath(root_.path()); }

    // One helper for the whole run, started by the first benchmark that needs it.
    static HelperProcess& shared() {
        static HelperProcess helper;
        return helper;
    }

private:
    platform::testing::TempDir root_;
    fs::path launchctl_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// Real threads behind every queue. The app's main queue is the Qt event loop; the connection
// only ever asks for a serial queue, so that is the part that matters here.
class ThreadDispatch : public platform::Dispatch {
public:
    platform::Queue& main() override { return main_; }
    platform::Queue& global() override { return global_; }
    std::shared_ptr<platform::Queue> makeSerialQueue(const std::string& label) override {
        return std::make_shared<platform::linux_impl::WorkerQueue>(label, 1);
    }
    void performAfterDelay(platform::Duration delay, platform::Task task) override {
        main_.asyncAfter(delay, std::move(task));
    }
    void beginModal() override {}
    void endModal() override {}
    bool isMainThread() const override { return main_.isCurrent(); }

private:
    platform::linux_impl::WorkerQueue main_{"main", 1};
    platform::linux_impl::WorkerQueue global_{"global", 2};
};

// The helper's output lines; with a silent launchctl none are expected.
class QuietApp : public AppProtocolHandler {
public:
    void logWithStdOut(const std::string&) override {}
    void logWithStdErr(const std::string&) override {}
};

// One answer at a time, from the connection's queue to the benchmark's thread.
class Waiter {
public:
    void finish(std::string error = {}) {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
            error_ = std::move(error);
        }
        changed_.notify_one();
    }
    // Empty when the answer came; otherwise what went wrong.
    std::string wait() {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, kWatchdog, [this] { return done_; })) return "no answer";
        done_ = false;
        return std::move(error_);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::string error_;
};

// The app's side: the real connector over the real socket, set up as the app sets it up.
class HelperClient {
public:
    explicit HelperClient(const fs::path& root)
        : connector_(std::make_shared<platform::linux_impl::RootedSystemPaths>(root),
                     std::make_shared<ThreadDispatch>()) {
        connection_ = connector_.connectToMachService(std::string(kHelperMachServiceName),
                                                      kXPCConnectionPrivileged);
        connection_->setExportedInterface(AppProtocol);
        connection_->setExportedObject(exportAppProtocol(std::make_shared<QuietApp>()));
        connection_->setRemoteInterface(HelperProtocol);
        connection_->resume();
        proxy_.emplace(connection_->remoteObjectProxyWithErrorHandler(
            [this](const platform::XpcError& error) { waiter_.finish(error.description()); }));
    }
    ~HelperClient() {
        connection_->invalidate();
        proxy_.reset();
        connection_.reset();
    }
    HelperClient(const HelperClient&) = delete;
    HelperClient& operator=(const HelperClient&) = delete;

    std::string getVersion(std::string& version) {
        proxy_->getVersionWithCompletion([this, &version](const std::string& v) {
            version = v;
            waiter_.finish();
        });
        return waiter_.wait();
    }
    std::string runLaunchctl(const std::string& subcommand, std::int64_t& status) {
        proxy_->runQorLaunchctlWithSubcommand(subcommand, [this, &status](std::int64_t code) {
            status = code;
            waiter_.finish();
        });
        return waiter_.wait();
    }

private:
    // Declared first so that it outlives every handler that signals it.
    Waiter waiter_;
    platform::linux_impl::UnixXpcConnector connector_;
    std::shared_ptr<platform::XpcConnection> connection_;
    std::optional<HelperProtocolProxy> proxy_;
};

HelperProcess* startedHelper(benchmark::State& state) {
    auto& helper = HelperProcess::shared();
    if (!helper.ready()) {
        state.SkipWithError("the helper did not start");
        return nullptr;
    }
    return &helper;
}

// getVersionWithCompletion: through the app's connection to the helper program and back.
void BM_HelperGetVersion(benchmark::State& state) {
    auto* helper = startedHelper(state);
    if (!helper) return;
    HelperClient client(helper->root());
    std::string version;
    // The first call opens the link; that is not what is measured.
    if (auto error = client.getVersion(version); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    timeEach(state, [&]() -> std::string {
        const auto error = client.getVersion(version);
        if (!error.empty()) return error;
        return version == HelperServer::version() ? "" : "wrong version";
    });
}
BENCHMARK(BM_HelperGetVersion)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same call as raw frames on the helper's socket: the helper and the framing without the
// client's connection, its reader thread and its queue.
void BM_HelperGetVersionRawFrames(benchmark::State& state) {
    auto* helper = startedHelper(state);
    if (!helper) return;
    const int fd = connectTo(helper->socket());
    if (fd < 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    std::uint64_t id = 0;
    Samples samples(state);
    for (auto _ : state) {
        const json call = {
            {"id", ++id}, {"selector", helper_selectors::getVersion}, {"arguments", json::array()}};
        const auto start = Clock::now();
        const bool sent = wire::writeFrame(fd, call);
        auto frame = wire::readFrame(fd);
        samples.add(Clock::now() - start);
        const auto* answer = std::get_if<json>(&frame);
        if (!sent || !answer || !answer->contains("reply")) {
            state.SkipWithError("no reply");
            break;
        }
    }
    ::close(fd);
    samples.report();
}
BENCHMARK(BM_HelperGetVersionRawFrames)->UseManualTime()->Unit(benchmark::kMicrosecond);

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool readAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one length-prefixed frame into `frame` (header included).
bool readFrameBytes(int fd, std::string& frame) {
    unsigned char header[4];
    if (!readAll(fd, reinterpret_cast<char*>(header), sizeof header)) return false;
    const std::size_t length = (std::size_t{header[0]} << 24) | (std::size_t{header[1]} << 16) |
                               (std::size_t{header[2]} << 8) | std::size_t{header[3]};
    if (length > wire::kMaxFrameBytes) return false;
    frame.assign(reinterpret_cast<char*>(header), sizeof header);
    frame.resize(sizeof header + length);
    return readAll(fd, frame.data() + sizeof header, length);
}

// The floor: a frame of the same size as the version call, echoed by a thread on the other end
// of a Unix stream socket pair. No parsing, no checks, one write per frame.
void BM_BareSocketPingPong(benchmark::State& state) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        state.SkipWithError("socketpair");
        return;
    }
    std::thread echo([fd = fds[1]] {
        std::string frame;
        while (readFrameBytes(fd, frame) && writeAll(fd, frame.data(), frame.size())) {
        }
    });
    const std::string body =
        json{{"id", 1}, {"selector", helper_selectors::getVersion}, {"arguments", json::array()}}
            .dump();
    std::string frame(4, '\0');
    frame[0] = static_cast<char>((body.size() >> 24) & 0xff);
    frame[1] = static_cast<char>((body.size() >> 16) & 0xff);
    frame[2] = static_cast<char>((body.size() >> 8) & 0xff);
    frame[3] = static_cast<char>(body.size() & 0xff);
    frame += body;
    std::string answer;
    timeEach(state, [&]() -> std::string {
        const bool ok =
            writeAll(fds[0], frame.data(), frame.size()) && readFrameBytes(fds[0], answer);
        return ok && answer == frame ? "" : "echo failed";
    });
    ::shutdown(fds[0], SHUT_RDWR);
    echo.join();
    ::close(fds[0]);
    ::close(fds[1]);
    state.counters["frame_bytes"] = static_cast<double>(frame.size());
}
BENCHMARK(BM_BareSocketPingPong)->UseManualTime()->Unit(benchmark::kMicrosecond);

// runQorLaunchctlWithSubcommand: "enable" through the connection; the helper spawns the silent
// script, drains its two pipes and waits for it.
// Times "enable" requests through a connection to `helper`, after one version request.
void timeEnables(benchmark::State& state, HelperProcess& helper) {
    HelperClient client(helper.root());
    std::string version;
    if (auto error = client.getVersion(version); !error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    timeEach(state, [&]() -> std::string {
        std::int64_t status = -1;
        const auto error = client.runLaunchctl("enable", status);
        if (!error.empty()) return error;
        return status == 0 ? "" : "refused or failed";
    });
}

void BM_HelperLaunchctlEnable(benchmark::State& state) {
    if (auto* helper = startedHelper(state)) timeEnables(state, *helper);
}
BENCHMARK(BM_HelperLaunchctlEnable)->UseManualTime()->Unit(benchmark::kMicrosecond);

// polkit's stand-in on a private bus, granting the helper's action; started once, for every
// benchmark that asks it. Nothing, with the reason given to `state`, when it cannot start.
platform::testing::MockPolkit* grantingPolkit(benchmark::State& state) {
    static platform::testing::TempDir busFolder;
    static std::unique_ptr<platform::testing::MockPolkit> polkit;
    if (!polkit) {
        try {
            polkit = std::make_unique<platform::testing::MockPolkit>(busFolder.path());
            polkit->setOutcome(PolkitGate::kAction, "allow");
        } catch (const std::exception& error) {
            polkit.reset();
            state.SkipWithError(error.what());
        }
    }
    return polkit.get();
}

// The same request to a helper that asks polkit first, over D-Bus.
void BM_HelperLaunchctlEnableWithPolkit(benchmark::State& state) {
    static std::unique_ptr<HelperProcess> helper;
    if (!helper) {
        auto* polkit = grantingPolkit(state);
        if (!polkit) return;
        helper = std::make_unique<HelperProcess>(std::vector<std::string>{
            "ORVANE_HELPER_ASK_POLKIT=1", "DBUS_SYSTEM_BUS_ADDRESS=" + polkit->address()});
    }
    if (!helper->ready()) {
        state.SkipWithError("the helper did not start");
        return;
    }
    timeEnables(state, *helper);
}
BENCHMARK(BM_HelperLaunchctlEnableWithPolkit)->UseManualTime()->Unit(benchmark::kMicrosecond);

// polkit's share of the checked request: the gate alone, in this process, asking the same
// stand-in (one round trip on a kept connection).
void BM_PolkitGateCheck(benchmark::State& state) {
    auto* polkit = grantingPolkit(state);
    if (!polkit) return;
    PolkitGate gate(nullptr, PolkitGate::kAnswerBound, polkit->address());
    const Caller me{::getpid(), ::getuid(), processStartTime(::getpid())};
    timeEach(state, [&]() -> std::string {
        const auto refusal = gate.refusal(me, "enable", -1);
        return refusal ? *refusal : "";
    });
}
BENCHMARK(BM_PolkitGateCheck)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same script with the same arguments, spawned in this process by the app's process runner.
void BM_RunnerSpawnLaunchctlEnable(benchmark::State& state) {
    auto* helper = startedHelper(state);
    if (!helper) return;
    platform::linux_impl::PosixProcessRunner runner;
    const std::string program = helper->launchctl().string();
    const std::vector<std::string> args = {"enable", kServiceTarget};
    timeEach(state, [&]() -> std::string {
        const auto result = runner.run(
            program, args, std::chrono::duration_cast<std::chrono::milliseconds>(kWatchdog));
        return result.startError || result.timedOut || result.status != 0 ? "the script failed"
                                                                          : "";
    });
}
BENCHMARK(BM_RunnerSpawnLaunchctlEnable)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // A helper that goes away must fail a benchmark, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
