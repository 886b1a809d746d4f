#include "helper_tool/helper_server.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

#include "helper_interface/helper_protocol.h"
#include "platform/linux/local_clock.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/linux/xpc_wire.h"

namespace wire = platform::linux_impl::wire;
using nlohmann::json;

namespace {

constexpr char kServiceTarget[] = "system/com.velmora.OrvaneStorageGateway";
constexpr char kJobDefinition[] = "/Library/LaunchDaemons/com.velmora.OrvaneStorageGateway.plist";
constexpr char kLogDirectory[] = "/Library/Logs/Velmora/OrvaneStorageGateway";

// The system's paths, mapped where this system keeps them, below the root.
std::filesystem::path systemPath(const std::filesystem::path& root, std::string_view path) {
    return platform::linux_impl::RootedSystemPaths(root).resolve(path);
}
// What a subcommand answers that launchctl did not decide: refused, or launchctl could not be set
// going or its end not read. A failure, and never a status launchctl itself gives.
constexpr int kNotRunStatus = 64;
// A longer line of launchctl's is cut, with a note of how much was left out, so that every line
// fits in a frame and none is lost.
constexpr std::size_t kMaxOutputLine = std::size_t{64} * 1024;

constexpr auto kRefusalLogInterval = std::chrono::seconds(1);
// Users and kinds whose lines are remembered before the quiet ones are forgotten.
constexpr std::size_t kRefusalsRemembered = 1024;
// The most of a request's own text a line repeats: the sender chooses it, up to a frame's size.
constexpr std::size_t kQuotedText = 64;

std::string quoted(const std::string& text) {
    if (text.size() <= kQuotedText) return "\"" + text + "\"";
    return "\"" + text.substr(0, kQuotedText) + "\" (" + std::to_string(text.size() - kQuotedText) +
           " more bytes)";
}
// How long the accept loop rests when no descriptor is left even to turn a client away.
constexpr auto kNoDescriptorPause = std::chrono::milliseconds(100);

HelperServer::Options completed(HelperServer::Options options) {
    if (!options.log) options.log = [](const std::string&) {};
    if (!options.clock) options.clock = std::make_shared<platform::linux_impl::LocalClock>();
    if (!options.gate && options.systemRoot == "/") {
        options.gate = std::make_shared<PolkitGate>(options.clock);
    }
    if (!options.processes) {
        options.processes =
            std::make_shared<platform::linux_impl::PosixProcessRunner>(options.clock);
    }
    return options;
}

// The user the gateway's unit runs as, who writes into the log folder.
constexpr char kGatewayUser[] = "orvane-gateway";
// The product's group, whose members read the gateway's log from the menu.
constexpr char kProductGroup[] = "orvane";

std::string posixError(int error) { return std::generic_category().message(error); }

// Makes `relative` below `root` a folder, one component at a time, each opened without following
// a symbolic link, so that nothing put on the way can lead the creation, or the ownership given
// at the end, anywhere else. With an owner, the last folder becomes theirs, mode 2750: its files
// take its group, so the group may read the log whatever the writer's own group is.
std::optional<std::pair<int, std::string>> makeFolderBelow(
    const std::filesystem::path& root, const std::filesystem::path& relative,
    std::optional<std::pair<uid_t, gid_t>> owner) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::pair{errno, root.string() + " cannot be opened"};
    for (const auto& part : relative) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == ".." || name == "/") {
            ::close(fd);
            return std::pair{EINVAL, "the path " + relative.string() + " is not plain"};
        }
        if (::mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST) {
            const int error = errno;
            ::close(fd);
            return std::pair{error, name + " cannot be created"};
        }
        const int next =
            ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        if (next < 0) return std::pair{error, name + " is not a folder (or is a symbolic link)"};
        fd = next;
    }
    std::optional<std::pair<int, std::string>> failure;
    if (owner && (::fchown(fd, owner->first, owner->second) != 0 || ::fchmod(fd, 02750) != 0)) {
        failure = std::pair{errno, "its owner cannot be set"};
    }
    ::close(fd);
    return failure;
}

}  // namespace

// A client's socket, non-blocking, so that each wait on it ends at a deadline on the clock.
class HelperServer::ClientSocket {
public:
    ClientSocket(int fd, platform::Clock& clock, std::chrono::milliseconds idle)
        : fd_(fd), clock_(clock), poll_(clock), idle_(idle) {}

    // The whole next message must arrive within the idle bound, however slowly it trickles in.
    std::variant<json, wire::ReadError> read() {
        const auto deadline = clock_.now() + idle_;
        timedOut_ = false;
        return wire::readFrame([this, deadline](char* data, std::size_t size) {
            return waitFor(POLLIN, deadline, [&] { return ::read(fd_, data, size); });
        });
    }
    // Whether the last read ended at the idle bound.
    bool timedOut() const { return timedOut_; }
    // The peer takes each frame within the idle bound, or it is not sent.
    bool send(const json& message) {
        const auto deadline = clock_.now() + idle_;
        return wire::writeFrame(
            [this, deadline](const char* data, std::size_t size) {
                return waitFor(POLLOUT, deadline,
                               [&] { return ::send(fd_, data, size, MSG_NOSIGNAL); });
            },
            message);
    }

private:
    template <class Io>
    ssize_t waitFor(short events, platform::Clock::TimePoint deadline, Io io) {
        for (;;) {
            const ssize_t n = io();
            if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return n;
            pollfd ready{fd_, events, 0};
            const int count = poll_.wait({&ready, 1}, deadline);
            if (count < 0) return -1;
            if (count == 0) {
                timedOut_ = true;
                errno = ETIMEDOUT;
                return -1;
            }
        }
    }

    int fd_;
    platform::Clock& clock_;
    platform::linux_impl::ClockedPoll poll_;
    std::chrono::milliseconds idle_;
    bool timedOut_ = false;
};

HelperServer::HelperServer(Options options)
    : options_(completed(std::move(options))), acceptPoll_(*options_.clock) {
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds_[0] = wakeFds_[1] = -1;
    reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

HelperServer::~HelperServer() {
    stop();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (reserveFd_ >= 0) ::close(reserveFd_);
    for (int fd : wakeFds_) {
        if (fd >= 0) ::close(fd);
    }
}

std::filesystem::path HelperServer::socketPath(const std::filesystem::path& systemRoot) {
    return systemPath(systemRoot, "/var/run/com.velmora.QorPrivilegedHelper.socket");
}

std::string HelperServer::version() { return ORVANE_HELPER_VERSION; }

bool HelperServer::peerAllowed(const ucred& peer, const std::filesystem::path& systemRoot) {
    // The same users the app trusts to serve it.
    const platform::linux_impl::RootedSystemPaths paths(systemRoot);
    return platform::linux_impl::trustedServiceUsers(paths, /*privileged=*/true).contains(peer.uid);
}

bool HelperServer::listen() {
    if (options_.listenFd >= 0) {
        listenFd_ = options_.listenFd;
        ::fcntl(listenFd_, F_SETFD, FD_CLOEXEC);
        return true;
    }
    const auto path = socketPath(options_.systemRoot);
    // Made ready under a shorter name and renamed over the old one, so that whatever a client
    // finds at the socket's path takes connections.
    const auto staging = path.parent_path() / ".QorPrivilegedHelper.new";
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path) {
        options_.log("The socket path is too long: " + path.string());
        return false;
    }
    std::strcpy(address.sun_path, staging.c_str());
    ::unlink(staging.c_str());
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(staging.c_str(), 0666) != 0 || ::listen(listenFd_, 16) != 0 ||
        ::rename(staging.c_str(), path.c_str()) != 0) {
        options_.log("Cannot listen on " + path.string() + ": " +
                     std::generic_category().message(errno));
        return false;
    }
    return true;
}

void HelperServer::stop() {
    if (stopping_.exchange(true)) return;
    if (wakeFds_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] auto n = ::write(wakeFds_[1], &byte, 1);
    }
}

void HelperServer::serve() {
    while (!stopping_) {
        std::size_t serving = 0;
        {
            std::lock_guard lock(clientsMutex_);
            serving = clientThreads_.size() - finished_.size();
        }
        // At the cap, only a finishing client or stop() wakes the loop.
        pollfd fds[2] = {{wakeFds_[0], POLLIN, 0},
                         {serving < options_.maxClients ? listenFd_ : -1, POLLIN, 0}};
        if (acceptPoll_.wait(fds, std::nullopt) < 0) break;
        try {
            if (fds[0].revents) {
                char bytes[64];
                while (::read(wakeFds_[0], bytes, sizeof bytes) > 0) {
                }
                reapClients();
            }
            if (stopping_) break;
            if (fds[1].revents & POLLIN) acceptOne();
        } catch (const std::exception& error) {
            // Whatever one connection costs, the helper goes on serving the others.
            logRefusal(0, HelperRefusal::Failure,
                       std::string("The helper could not take a connection: ") + error.what());
        }
    }
    std::map<std::uint64_t, std::thread> threads;
    {
        std::lock_guard lock(clientsMutex_);
        for (int fd : clientFds_) ::shutdown(fd, SHUT_RDWR);
        threads.swap(clientThreads_);
        finished_.clear();
    }
    for (auto& [serial, thread] : threads) thread.join();
}

void HelperServer::acceptOne() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        const bool outOfDescriptors = errno == EMFILE || errno == ENFILE;
        if (!outOfDescriptors && errno != ENOBUFS && errno != ENOMEM) return;
        // Turn the client away with the reserve descriptor rather than leave it hanging while
        // poll reports it again and again.
        if (outOfDescriptors && reserveFd_ >= 0) {
            ::close(reserveFd_);
            const int turnedAway = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (turnedAway >= 0) ::close(turnedAway);
            reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        }
        // Nobody to name: the connection was never taken.
        logRefusal(0, HelperRefusal::Failure,
                   "Refused a connection: no file descriptor or memory is left to serve it");
        if (!outOfDescriptors || reserveFd_ < 0) {
            pollfd wake{wakeFds_[0], POLLIN, 0};
            acceptPoll_.wait({&wake, 1}, options_.clock->now() + kNoDescriptorPause);
        }
        return;
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0;
    // With a gate, each request is decided for whoever makes it; without one, only the trusted.
    if (!known || (!options_.gate && !peerAllowed(peer, options_.systemRoot))) {
        ::close(fd);
        logRefusal(peer.uid, HelperRefusal::Connection,
                   "Refused a connection from user " + std::to_string(peer.uid));
        return;
    }
    // Read now, while the process that connected is surely the one with this pid.
    admit(fd, Caller{peer.pid, peer.uid, processStartTime(peer.pid)});
}

void HelperServer::admit(int fd, const Caller& caller) {
    std::unique_lock lock(clientsMutex_);
    // Only where many users may connect: in a sandbox root every client is its owner.
    auto& held = clientsPerUser_[caller.uid];
    if (options_.gate && held >= options_.maxClientsPerUser) {
        lock.unlock();
        logRefusal(caller.uid, HelperRefusal::Connection,
                   "Refused a connection from user " + std::to_string(caller.uid) + ": it has " +
                       std::to_string(options_.maxClientsPerUser) + " open already");
        ::close(fd);
        return;
    }
    ++held;
    const auto serial = nextSerial_++;
    clientFds_.insert(fd);
    try {
        clientThreads_.emplace(
            serial, std::thread([this, fd, serial, caller] {
                try {
                    serveClient(fd, caller);
                } catch (const std::exception& error) {
                    logRefusal(
                        caller.uid, HelperRefusal::Failure,
                        std::string("A client's connection ended on an error: ") + error.what());
                }
                std::lock_guard lock(clientsMutex_);
                clientFds_.erase(fd);
                --clientsPerUser_[caller.uid];
                ::close(fd);
                finished_.push_back(serial);
                const char byte = 0;
                [[maybe_unused]] auto n = ::write(wakeFds_[1], &byte, 1);
            }));
    } catch (const std::exception& error) {
        // No thread to serve it (address space or thread limit): this client goes, the helper
        // stays.
        clientFds_.erase(fd);
        --clientsPerUser_[caller.uid];
        ::close(fd);
        logRefusal(caller.uid, HelperRefusal::Failure,
                   std::string("Could not serve a connection: ") + error.what());
    }
}

void HelperServer::reapClients() {
    std::vector<std::thread> done;
    {
        std::lock_guard lock(clientsMutex_);
        for (auto serial : finished_) {
            auto found = clientThreads_.find(serial);
            if (found == clientThreads_.end()) continue;
            done.push_back(std::move(found->second));
            clientThreads_.erase(found);
        }
        finished_.clear();
    }
    for (auto& thread : done) thread.join();
}

void HelperServer::logRefusal(uid_t uid, HelperRefusal kind, const std::string& line) {
    std::lock_guard lock(refusalMutex_);
    const auto now = options_.clock->now();
    if (refusalsLogged_.size() >= kRefusalsRemembered) {
        std::erase_if(refusalsLogged_, [&](const auto& entry) {
            return entry.second.leftOut == 0 && now - entry.second.last >= kRefusalLogInterval;
        });
    }
    const auto [found, first] = refusalsLogged_.try_emplace({uid, kind}, RefusalsLogged{now});
    auto& logged = found->second;
    if (!first && now - logged.last < kRefusalLogInterval) {
        ++logged.leftOut;
        return;
    }
    std::string text = line;
    if (logged.leftOut > 0) {
        text += " (" + std::to_string(logged.leftOut) + " more refusals since the last such line)";
    }
    options_.log(text);
    logged = {now, 0};
}

// One client's requests, served on its thread.
class HelperServer::Requests : public HelperProtocolHandler {
public:
    Requests(HelperServer& server, const Caller& caller, int callerSocket,
             std::shared_ptr<AppProtocolHandler> client)
        : server_(server),
          caller_(caller),
          callerSocket_(callerSocket),
          client_(std::move(client)) {}

    void getVersionWithCompletion(std::function<void(std::string)> reply) override {
        reply(version());
    }
    void runQorLaunchctlWithSubcommand(const std::string& subcommand,
                                       std::function<void(std::int64_t)> reply) override {
        reply(runLaunchctl(subcommand));
    }
    void createLogDirectoryWithCompletion(
        std::function<void(std::string, std::optional<platform::XpcError>)> reply) override {
        if (const auto refusal = refused("createLogDirectory")) {
            return reply("Could not create the log directory",
                         platform::XpcError{"NSPOSIXErrorDomain", EPERM, *refusal, {}});
        }
        auto [message, error] = createLogDirectory();
        reply(std::move(message), std::move(error));
    }

private:
    const Options& options() const { return server_.options_; }
    // Nothing when the gate lets the caller make `request`; else the refusal, already told to
    // the client on its standard error and to the log (as refusals are, at most once a second).
    std::optional<std::string> refused(const std::string& request);
    // Creates the gateway's log folder.
    std::pair<std::string, std::optional<platform::XpcError>> createLogDirectory();
    // Runs launchctl for one of the four subcommands, forwarding its output; its exit status.
    int runLaunchctl(const std::string& subcommand);

    HelperServer& server_;
    const Caller caller_;
    // The gate stops waiting for an answer once this hangs up.
    const int callerSocket_;
    const std::shared_ptr<AppProtocolHandler> client_;
};

std::shared_ptr<HelperProtocolHandler> HelperServer::requestsOf(
    const Caller& caller, int callerSocket, std::shared_ptr<AppProtocolHandler> client) {
    return std::make_shared<Requests>(*this, caller, callerSocket, std::move(client));
}

std::optional<std::string> HelperServer::Requests::refused(const std::string& request) {
    if (!options().gate) return std::nullopt;
    auto refusal = options().gate->refusal(caller_, request, callerSocket_);
    if (!refusal) return std::nullopt;
    server_.logRefusal(caller_.uid, HelperRefusal::Request, *refusal);
    client_->logWithStdErr(*refusal + "\n");
    return refusal;
}

std::pair<std::string, std::optional<platform::XpcError>>
HelperServer::Requests::createLogDirectory() {
    const auto posixFailure = [](int error, std::string description) {
        return platform::XpcError{"NSPOSIXErrorDomain", error, std::move(description), {}};
    };
    const auto dir = systemPath(options().systemRoot, kLogDirectory);
    std::optional<std::pair<uid_t, gid_t>> owner;
    if (options().systemRoot == "/") {
        // The gateway's unit writes there as its own user, and may write nowhere else.
        passwd entry{};
        passwd* user = nullptr;
        std::array<char, 4096> strings{};
        ::getpwnam_r(kGatewayUser, &entry, strings.data(), strings.size(), &user);
        if (!user) {
            return {"Could not create " + dir.string(),
                    posixFailure(ENOENT, std::string("the user ") + kGatewayUser +
                                             " the gateway runs as does not exist")};
        }
        owner = std::pair{user->pw_uid, user->pw_gid};
        group groupEntry{};
        group* product = nullptr;
        std::array<char, 4096> groupStrings{};
        ::getgrnam_r(kProductGroup, &groupEntry, groupStrings.data(), groupStrings.size(),
                     &product);
        if (product) owner->second = product->gr_gid;
    }
    const auto relative =
        std::filesystem::path(platform::linux_impl::linuxPath(kLogDirectory)).relative_path();
    if (const auto failure = makeFolderBelow(options().systemRoot, relative, owner)) {
        return {"Could not create " + dir.string(),
                posixFailure(failure->first, failure->second + ": " + posixError(failure->first))};
    }
    return {"Log directory " + dir.string() + " is ready", std::nullopt};
}

void HelperServer::serveClient(int fd, const Caller& caller) {
    ClientSocket client(fd, *options_.clock, options_.idleTimeout);
    // Requests answer on this thread, before the next frame is read: the socket is only ever
    // used here.
    HelperDispatcher dispatcher(
        caller.uid, [&client](const json& message) { return client.send(message); },
        [this, uid = caller.uid](HelperRefusal kind, const std::string& line) {
            logRefusal(uid, kind, line);
        },
        [this, &caller, fd](std::shared_ptr<AppProtocolHandler> sink) {
            return requestsOf(caller, fd, std::move(sink));
        });
    for (;;) {
        auto frame = client.read();
        if (auto* error = std::get_if<wire::ReadError>(&frame)) {
            if (client.timedOut()) {
                options_.log("Closed a connection that sent no whole message within " +
                             std::to_string(options_.idleTimeout.count()) + " ms");
            } else if (*error != wire::ReadError::Closed) {
                logRefusal(caller.uid, HelperRefusal::Frame,
                           "Refused a message from user " + std::to_string(caller.uid) +
                               " and closed the connection: " + wire::describe(*error));
            }
            break;
        }
        dispatcher.received(std::get<json>(frame));
    }
}

int HelperServer::Requests::runLaunchctl(const std::string& subcommand) {
    std::vector<std::string> args;
    if (subcommand == "bootstrap") {
        args = {"bootstrap", "system", systemPath(options().systemRoot, kJobDefinition).string()};
    } else if (subcommand == "bootout" || subcommand == "enable" || subcommand == "disable") {
        args = {subcommand, kServiceTarget};
    } else {
        server_.logRefusal(caller_.uid, HelperRefusal::Subcommand,
                           "Refused the launchctl subcommand " + quoted(subcommand) +
                               " from user " + std::to_string(caller_.uid));
        return kNotRunStatus;
    }
    if (refused(subcommand)) return kNotRunStatus;
    const std::string program = systemPath(options().systemRoot, "/bin/launchctl").string();
    platform::StreamedRun how;
    how.timeout = options().launchctlTimeout;
    how.environment = std::vector<std::string>{"PATH=/usr/bin:/bin"};
    how.maxLine = kMaxOutputLine;
    // The lines that came together leave in one call, so the app logs them as one entry.
    std::string together[2];
    const auto result = options().processes->runStreaming(
        program, args, how, [this, &together](const platform::OutputLine& line) {
            const bool error = line.stream == platform::OutputLine::Stream::Error;
            auto& text = together[error ? 1 : 0];
            text += line.text;
            if (line.leftOut > 0)
                text += " [" + std::to_string(line.leftOut) + " more bytes left out]";
            if (line.complete) text += '\n';
            if (line.more) return;
            error ? client_->logWithStdErr(text) : client_->logWithStdOut(text);
            text.clear();
        });
    if (result.startError) {
        if (result.beforeSpawn) return kNotRunStatus;
        client_->logWithStdErr("Failed to run " + program + ": " + *result.startError + "\n");
        return 127;
    }
    if (result.timedOut) {
        const std::string line = "launchctl " + subcommand + " did not exit within " +
                                 std::to_string(options().launchctlTimeout.count()) +
                                 " ms and was killed";
        options().log(line);
        client_->logWithStdErr(line + "\n");
    }
    if (result.exitStatus) return *result.exitStatus;
    if (result.signal) return 128 + *result.signal;
    return kNotRunStatus;
}
