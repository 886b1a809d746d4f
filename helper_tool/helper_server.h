#pragma once

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// The privileged helper's service: one Unix socket, one thread per client, requests checked
// against HelperProtocol before anything runs. It starts launchctl for the gateway's job only.
class HelperServer {
public:
    struct Options {
        std::filesystem::path systemRoot = "/";
        // Where refusals and failures are written; stderr in the program.
        std::function<void(const std::string&)> log;
        // A launchctl that has not exited by then is killed; its request still gets a reply.
        std::chrono::milliseconds launchctlTimeout{std::chrono::seconds(60)};
    };

    explicit HelperServer(Options options);
    ~HelperServer();

    static std::filesystem::path socketPath(const std::filesystem::path& systemRoot);
    static std::string version();

    // Binds the socket (replacing a stale one); false with a log line on failure.
    bool listen();
    // Serves until stop() is called from another thread or a signal handler's thread.
    void serve();
    void stop();

    // A client may be root or whoever owns the system root (the sandbox's owner).
    static bool peerAllowed(const ucred& peer, const std::filesystem::path& systemRoot);

private:
    void serveClient(int fd);
    // Runs launchctl for one of the four subcommands, forwarding its output; its exit status.
    int runLaunchctl(int fd, const std::string& subcommand);

    Options options_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    // Clients being served; serve() ends them and joins their threads before it returns.
    std::mutex clientsMutex_;
    std::set<int> clientFds_;
    std::vector<std::thread> clientThreads_;
};
