#include "platform/linux/socket_notification_center.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "platform/linux/posix_io.h"

namespace platform::linux_impl {
namespace {

std::optional<sockaddr_un> addressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

class SocketObservation : public DistributedNotificationCenter::Observation {
public:
    // `stop` is a pipe whose write end ends the receiving thread.
    SocketObservation(int socket, const int stop[2], std::filesystem::path path, std::string name,
                      std::string object, std::function<void()> handler)
        : socket_(socket), path_(std::move(path)), stopRead_(stop[0]), stopWrite_(stop[1]) {
        thread_ = std::thread([this, name = std::move(name), object = std::move(object),
                               handler = std::move(handler)] { receive(name, object, handler); });
    }

    ~SocketObservation() override {
        const char stop = 1;
        (void)!::write(stopWrite_, &stop, 1);
        thread_.join();
        ::unlink(path_.c_str());
        ::close(socket_);
        ::close(stopRead_);
        ::close(stopWrite_);
    }
    SocketObservation(const SocketObservation&) = delete;
    SocketObservation& operator=(const SocketObservation&) = delete;

private:
    void receive(const std::string& name, const std::string& object,
                 const std::function<void()>& handler) {
        for (;;) {
            pollfd fds[2] = {{socket_, POLLIN, 0}, {stopRead_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            char buffer[4096];
            const ssize_t n = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
            if (n < 0 || static_cast<std::size_t>(n) > sizeof buffer) continue;
            const auto message =
                nlohmann::json::parse(buffer, buffer + n, nullptr, /*allow_exceptions=*/false);
            if (!message.is_object()) continue;
            const auto matches = [&](const char* key, const std::string& wanted) {
                auto it = message.find(key);
                return it != message.end() && it->is_string() && it->get<std::string>() == wanted;
            };
            if (matches("name", name) && matches("object", object)) handler();
        }
    }

    int socket_;
    std::filesystem::path path_;
    int stopRead_;
    int stopWrite_;
    std::thread thread_;
};

}  // namespace

SocketNotificationCenter::SocketNotificationCenter(const std::filesystem::path& runtimeDir)
    : folder_(runtimeDir / "distributed-notifications") {}

void SocketNotificationCenter::post(const std::string& name, const std::string& object) {
    const std::string datagram = nlohmann::json{{"name", name}, {"object", object}}.dump();
    Fd sender(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (sender.get() < 0) return;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        if (!entry.is_socket(ec)) continue;
        auto address = addressOf(entry.path());
        if (!address) continue;
        const auto sent =
            ::sendto(sender.get(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
        // Nobody reads there any more: an observer that ended without cleaning up.
        if (sent < 0 && errno == ECONNREFUSED) ::unlink(entry.path().c_str());
    }
}

std::unique_ptr<DistributedNotificationCenter::Observation> SocketNotificationCenter::addObserver(
    const std::string& name, const std::string& object, std::function<void()> handler) {
    ::mkdir(folder_.c_str(), 0700);
    const auto path = folder_ / (std::to_string(::getpid()) + "-" +
                                 std::to_string(nextObserver_.fetch_add(1)) + ".socket");
    auto address = addressOf(path);
    if (!address) return nullptr;
    int stop[2];
    if (::pipe2(stop, O_CLOEXEC) != 0) return nullptr;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ::unlink(path.c_str());  // left by an earlier process with the same id
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        for (int descriptor : {fd, stop[0], stop[1]}) {
            if (descriptor >= 0) ::close(descriptor);
        }
        return nullptr;
    }
    return std::make_unique<SocketObservation>(fd, stop, path, name, object, std::move(handler));
}

}  // namespace platform::linux_impl
