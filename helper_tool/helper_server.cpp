#include "helper_tool/helper_server.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
// What a refused subcommand answers: a failure, and never a status launchctl itself gives.
constexpr int kRefusedStatus = 64;

using SendFrame = std::function<bool(const json&)>;

// Sends complete lines of one stream as one-way calls; the rest waits for more or the end. A line
// longer than kMaxOutputLine is cut, with a note of how much was left out, so that every line
// fits in a frame and none is lost.
class LineForwarder {
public:
    static constexpr std::size_t kMaxOutputLine = std::size_t{64} * 1024;

    LineForwarder(SendFrame send, std::string_view selector)
        : sendFrame_(std::move(send)), selector_(selector) {}
    void add(const char* data, std::size_t size) {
        std::size_t complete = 0;  // bytes of `pending_` that end a line
        while (size > 0) {
            const auto* newline = static_cast<const char*>(std::memchr(data, '\n', size));
            const std::size_t length = newline ? static_cast<std::size_t>(newline - data) : size;
            const std::size_t taken = std::min(length, kMaxOutputLine - lineLength_);
            pending_.append(data, taken);
            lineLength_ += taken;
            leftOut_ += length - taken;
            if (!newline) break;
            endLine();
            complete = pending_.size();
            data += length + 1;
            size -= length + 1;
        }
        if (complete == 0) return;
        send(pending_.substr(0, complete));
        pending_.erase(0, complete);
    }
    void finish() {
        if (pending_.empty() && leftOut_ == 0) return;
        if (leftOut_ > 0) pending_ += note();
        send(pending_);
        pending_.clear();
    }

private:
    std::string note() const { return " [" + std::to_string(leftOut_) + " more bytes left out]"; }
    void endLine() {
        if (leftOut_ > 0) pending_ += note();
        pending_ += '\n';
        lineLength_ = leftOut_ = 0;
    }
    void send(const std::string& text) {
        sendFrame_({{"selector", selector_}, {"arguments", {text}}});
    }
    SendFrame sendFrame_;
    std::string_view selector_;
    std::string pending_;
    std::size_t lineLength_ = 0;
    std::size_t leftOut_ = 0;
};

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
    return options;
}

// The user the gateway's unit runs as, who writes into the log folder.
constexpr char kGatewayUser[] = "orvane-gateway";
// The product's group, whose members read the gateway's log from the menu.
constexpr char kProductGroup[] = "orvane";

std::string posixError(int error) { return std::generic_category().message(error); }

json posixErrorValue(int error, const std::string& description) {
    return {{"domain", "NSPOSIXErrorDomain"}, {"code", error}, {"description", description}};
}

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
    platform::Clock& clock() { return clock_; }
    int fd() const { return fd_; }
    // For the thread's other waits.
    platform::linux_impl::ClockedPoll& poll() { return poll_; }

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
            logRefusal(0, Refusal::Failure,
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
        logRefusal(0, Refusal::Failure,
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
        logRefusal(peer.uid, Refusal::Connection,
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
        logRefusal(caller.uid, Refusal::Connection,
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
                        caller.uid, Refusal::Failure,
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
        logRefusal(caller.uid, Refusal::Failure,
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

void HelperServer::logRefusal(uid_t uid, Refusal kind, const std::string& line) {
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

std::optional<std::string> HelperServer::refused(ClientSocket& client, const Caller& caller,
                                                 const std::string& request) {
    if (!options_.gate) return std::nullopt;
    auto refusal = options_.gate->refusal(caller, request, client.fd());
    if (!refusal) return std::nullopt;
    logRefusal(caller.uid, Refusal::Request, *refusal);
    client.send({{"selector", helper_selectors::logWithStdErr}, {"arguments", {*refusal + "\n"}}});
    return refusal;
}

json HelperServer::createLogDirectory() {
    const auto dir = systemPath(options_.systemRoot, kLogDirectory);
    std::optional<std::pair<uid_t, gid_t>> owner;
    if (options_.systemRoot == "/") {
        // The gateway's unit writes there as its own user, and may write nowhere else.
        passwd entry{};
        passwd* user = nullptr;
        std::array<char, 4096> strings{};
        ::getpwnam_r(kGatewayUser, &entry, strings.data(), strings.size(), &user);
        if (!user) {
            return {"Could not create " + dir.string(),
                    posixErrorValue(ENOENT, std::string("the user ") + kGatewayUser +
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
    if (const auto failure = makeFolderBelow(options_.systemRoot, relative, owner)) {
        return {
            "Could not create " + dir.string(),
            posixErrorValue(failure->first, failure->second + ": " + posixError(failure->first))};
    }
    return {"Log directory " + dir.string() + " is ready", nullptr};
}

void HelperServer::serveClient(int fd, const Caller& caller) {
    ClientSocket client(fd, *options_.clock, options_.idleTimeout);
    const std::string from = " from user " + std::to_string(caller.uid);
    auto reply = [&](std::uint64_t id, json values) {
        if (client.send({{"id", id}, {"reply", std::move(values)}})) return;
        // Too large for a frame (or the peer is gone): the request still gets its one answer.
        const std::string error = "the reply was larger than a message may be";
        if (client.send({{"id", id}, {"error", error}}))
            logRefusal(caller.uid, Refusal::Failure, "Sent an error instead: " + error);
    };
    for (;;) {
        auto frame = client.read();
        if (auto* error = std::get_if<wire::ReadError>(&frame)) {
            if (client.timedOut()) {
                options_.log("Closed a connection that sent no whole message within " +
                             std::to_string(options_.idleTimeout.count()) + " ms");
            } else if (*error != wire::ReadError::Closed) {
                logRefusal(caller.uid, Refusal::Frame,
                           "Refused a message" + from +
                               " and closed the connection: " + wire::describe(*error));
            }
            break;
        }
        const json& message = std::get<json>(frame);
        auto checked = wire::checkCall(HelperProtocol, message);
        if (auto* problem = std::get_if<std::string>(&checked)) {
            logRefusal(caller.uid, Refusal::Call, "Refused a call" + from + ": " + *problem);
            if (message.contains("id") && message["id"].is_number_integer() &&
                !client.send({{"id", message["id"]}, {"error", *problem}})) {
                client.send({{"id", message["id"]}, {"error", "the call was refused"}});
            }
            continue;
        }
        const auto& call = std::get<wire::CheckedCall>(checked);
        // Every method served here has a reply block, so every checked call has an id.
        const std::uint64_t id = *call.id;
        if (call.selector == helper_selectors::getVersion) {
            reply(id, {version()});
        } else if (call.selector == helper_selectors::createLogDirectory) {
            if (const auto refusal = refused(client, caller, "createLogDirectory")) {
                reply(id, {"Could not create the log directory", posixErrorValue(EPERM, *refusal)});
            } else {
                reply(id, createLogDirectory());
            }
        } else if (call.selector == helper_selectors::runLaunchctl) {
            reply(id, {runLaunchctl(client, caller, message["arguments"][0].get<std::string>())});
        } else {
            logRefusal(caller.uid, Refusal::Call,
                       "Refused a call" + from + ": " + call.selector + " is not served");
            client.send({{"id", id}, {"error", call.selector + " is not served"}});
        }
    }
}

int HelperServer::runLaunchctl(ClientSocket& client, const Caller& caller,
                               const std::string& subcommand) {
    std::vector<std::string> args;
    if (subcommand == "bootstrap") {
        args = {"bootstrap", "system", systemPath(options_.systemRoot, kJobDefinition).string()};
    } else if (subcommand == "bootout" || subcommand == "enable" || subcommand == "disable") {
        args = {subcommand, kServiceTarget};
    } else {
        logRefusal(caller.uid, Refusal::Subcommand,
                   "Refused the launchctl subcommand " + quoted(subcommand) + " from user " +
                       std::to_string(caller.uid));
        return kRefusedStatus;
    }
    if (refused(client, caller, subcommand)) return kRefusedStatus;
    const std::string program = systemPath(options_.systemRoot, "/bin/launchctl").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    char path[] = "PATH=/usr/bin:/bin";
    char* envp[] = {path, nullptr};

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return kRefusedStatus;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return kRefusedStatus;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // launchctl gets no client's socket, whatever was opened without close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        const std::string text =
            "Failed to run " + program + ": " + std::generic_category().message(spawned) + "\n";
        client.send({{"selector", helper_selectors::logWithStdErr}, {"arguments", {text}}});
        return 127;
    }
    const SendFrame send = [&client](const json& frame) { return client.send(frame); };
    LineForwarder stdoutLines(send, helper_selectors::logWithStdOut);
    LineForwarder stderrLines(send, helper_selectors::logWithStdErr);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    LineForwarder* forwarders[2] = {&stdoutLines, &stderrLines};
    int open = 2;
    const auto deadline = client.clock().now() + options_.launchctlTimeout;
    bool killed = false;
    while (open > 0) {
        const int ready = client.poll().wait(fds, deadline);
        if (ready == 0) {
            // What it started may hold the pipes open too: stop reading with it.
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        if (ready < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                forwarders[i]->add(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds) {
        if (f.fd >= 0) ::close(f.fd);
    }
    stdoutLines.finish();
    stderrLines.finish();
    if (killed) {
        const std::string line = "launchctl " + subcommand + " did not exit within " +
                                 std::to_string(options_.launchctlTimeout.count()) +
                                 " ms and was killed";
        options_.log(line);
        client.send({{"selector", helper_selectors::logWithStdErr}, {"arguments", {line + "\n"}}});
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kRefusedStatus;
}
