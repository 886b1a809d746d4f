#pragma once

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "helper_tool/helper_dispatch.h"
#include "helper_tool/request_gate.h"
#include "platform/clock.h"
#include "platform/linux/clocked_poll.h"
#include "platform/process_runner.h"

// The privileged helper's service: one Unix socket, one thread per client, each client's frames
// read within bounds and handed to a HelperDispatcher, which checks them against HelperProtocol
// before anything runs. It starts launchctl for the gateway's job only.
class HelperServer {
public:
    struct Options {
        std::filesystem::path systemRoot = "/";
        // Where refusals and failures are written; stderr in the program.
        std::function<void(const std::string&)> log;
        // A launchctl that has not exited by then is killed; its request still gets a reply.
        std::chrono::milliseconds launchctlTimeout{std::chrono::seconds(60)};
        // A connection that has not sent a whole message this long after its last one (or that
        // takes no reply for as long) is closed; the app opens a new one when it next asks.
        std::chrono::milliseconds idleTimeout{std::chrono::seconds(60)};
        // Clients served at once; further ones wait in the socket's queue.
        std::size_t maxClients = 32;
        // Connections one user may hold at once where a gate lets every user in; more are closed
        // at once, so that a user who leaves password dialogs open cannot take every place from
        // the others.
        std::size_t maxClientsPerUser = 8;
        // What the bounds are measured on; real time when not set.
        std::shared_ptr<platform::Clock> clock{};
        // Who decides each request that changes the system; then any local user may connect.
        // Unset: polkit on the real root; nobody in a sandbox root, where only root and the
        // sandbox's owner may connect at all.
        std::shared_ptr<RequestGate> gate{};
        // A socket already listening, handed over by systemd; -1 to bind one.
        int listenFd = -1;
        // What runs launchctl; one on `clock` when not set.
        std::shared_ptr<platform::ProcessRunner> processes{};
    };

    explicit HelperServer(Options options);
    ~HelperServer();
    HelperServer(const HelperServer&) = delete;
    HelperServer& operator=(const HelperServer&) = delete;

    static std::filesystem::path socketPath(const std::filesystem::path& systemRoot);
    static std::string version();

    // Binds the socket (replacing a stale one), or takes the one handed over; false with a log
    // line on failure.
    bool listen();
    // Serves until stop() is called from another thread or a signal handler's thread.
    void serve();
    void stop();

    // A client may be root or whoever owns the system root (the sandbox's owner).
    static bool peerAllowed(const ucred& peer, const std::filesystem::path& systemRoot);

private:
    class ClientSocket;
    class Requests;

    // What serves one client's calls: it knows the caller, asks the gate, and tells the client
    // what launchctl writes.
    std::shared_ptr<HelperProtocolHandler> requestsOf(const Caller& caller, int callerSocket,
                                                      std::shared_ptr<AppProtocolHandler> client);
    // Logs at most one line a second per user and kind, each with how many were left out
    // meanwhile: anyone may connect, and must not be able to push the helper's lines past the
    // journal's own limit, where the refusals that matter would be lost.
    void logRefusal(uid_t uid, HelperRefusal kind, const std::string& line);

    // Takes one connection off the queue, or waits when there is nothing to accept it with.
    void acceptOne();
    void admit(int fd, const Caller& caller);
    // Joins the threads of clients that are done.
    void reapClients();
    // Reads the client's frames until it leaves, idles past the bound or sends one that cannot
    // be read.
    void serveClient(int fd, const Caller& caller);

    Options options_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    // The accept loop's waits.
    platform::linux_impl::ClockedPoll acceptPoll_;
    std::atomic<bool> stopping_{false};
    // Held open so that, with the descriptor table full, a waiting client can still be taken off
    // the queue and closed instead of being retried for ever.
    int reserveFd_ = -1;
    // Clients being served; serve() ends them and joins their threads before it returns. A client
    // that is done puts its serial in `finished_` and wakes the accept loop, which joins it.
    std::mutex clientsMutex_;
    std::set<int> clientFds_;
    std::map<uid_t, std::size_t> clientsPerUser_;
    std::map<std::uint64_t, std::thread> clientThreads_;
    std::vector<std::uint64_t> finished_;
    std::uint64_t nextSerial_ = 0;
    // Client threads and the accept loop log refusals.
    struct RefusalsLogged {
        platform::Clock::TimePoint last;
        std::uint64_t leftOut = 0;
    };
    std::mutex refusalMutex_;
    std::map<std::pair<uid_t, HelperRefusal>, RefusalsLogged> refusalsLogged_;
};
