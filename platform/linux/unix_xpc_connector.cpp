#include "platform/linux/unix_xpc_connector.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/xpc_wire.h"

namespace platform::linux_impl {

std::filesystem::path xpcServiceSocket(const SystemPaths& paths, std::string_view service) {
    if (!isPlainName(service)) return {};
    return paths.resolve("/var/run/" + std::string(service) + ".socket");
}

std::set<uid_t> trustedServiceUsers(const SystemPaths& paths, bool privileged) {
    std::set<uid_t> users{0};
    const auto root = paths.resolve("/");
    struct stat st {};
    if (root != "/" && ::stat(root.c_str(), &st) == 0) users.insert(st.st_uid);
    if (!privileged) users.insert(::getuid());
    return users;
}

UnixSocketChannel::UnixSocketChannel(std::filesystem::path socket, std::set<uid_t> trustedUsers)
    : socket_(std::move(socket)), trusted_(std::move(trustedUsers)) {}

UnixSocketChannel::~UnixSocketChannel() { close(); }

std::optional<std::string> UnixSocketChannel::open(Events events) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_.empty()) return "the service name is not valid";
    if (socket_.string().size() >= sizeof address.sun_path) return "the socket path is too long";
    std::strcpy(address.sun_path, socket_.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::string("no socket: ") + std::generic_category().message(errno);
    int rc = 0;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const std::string reason =
            std::string("failed at lookup: ") + std::generic_category().message(errno);
        ::close(fd);
        return reason;
    }
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        !trusted_.contains(peer.uid)) {
        ::close(fd);
        return "the service runs as user " + std::to_string(peer.uid) + ", which is not trusted";
    }
    fd_ = fd;
    reader_ = std::thread([fd, events = std::move(events)] {
        for (;;) {
            auto frame = wire::readFrame(fd);
            if (auto* error = std::get_if<wire::ReadError>(&frame)) {
                // The peer learns at once that its frames are not accepted.
                ::shutdown(fd, SHUT_RDWR);
                events.closed(wire::describe(*error));
                return;
            }
            events.message(std::move(std::get<nlohmann::json>(frame)));
        }
    });
    return std::nullopt;
}

bool UnixSocketChannel::send(const nlohmann::json& message) {
    std::lock_guard lock(writeMutex_);
    const int fd = fd_;
    return fd >= 0 && wire::writeFrame(fd, message);
}

void UnixSocketChannel::close() {
    const int fd = fd_;
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    if (reader_.joinable()) reader_.join();
    std::lock_guard lock(writeMutex_);
    if (fd >= 0) ::close(fd);
    fd_ = -1;
}

std::shared_ptr<XpcConnection> UnixXpcConnector::connectToMachService(const std::string& name,
                                                                      unsigned options) {
    const bool privileged = (options & kPrivileged) != 0;
    auto channel = std::make_unique<UnixSocketChannel>(xpcServiceSocket(*paths_, name),
                                                       trustedServiceUsers(*paths_, privileged));
    return std::make_shared<XpcEndpoint>(name, std::move(channel),
                                         dispatch_->makeSerialQueue(name + ".connection"));
}

}  // namespace platform::linux_impl
