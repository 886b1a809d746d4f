// Arbitrary bytes from one client of the helper's socket: the server reads frames, checks each
// call and answers, and must end the connection cleanly however the bytes end. The server lives
// below a throw-away system root without launchctl, so a start or stop request fails to spawn.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "fuzz/check.h"
#include "helper_tool/helper_server.h"

namespace {

// One server for a batch of inputs; replacing it joins the client threads it gathered.
class Running {
public:
    explicit Running(const std::filesystem::path& root)
        : server_({root, {}, std::chrono::seconds(5)}) {
        check(server_.listen());
        thread_ = std::thread([this] { server_.serve(); });
    }
    ~Running() {
        server_.stop();
        thread_.join();
    }

private:
    HelperServer server_;
    std::thread thread_;
};

const std::filesystem::path& root() {
    static const std::filesystem::path path = [] {
        char name[] = "/tmp/helper-fuzz-XXXXXX";
        check(::mkdtemp(name) != nullptr);
        return std::filesystem::path(name);
    }();
    return path;
}

int connectClient() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, HelperServer::socketPath(root()).c_str());
    check(fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::unique_ptr<Running> server;
    static int served = 0;
    if (!server || ++served % 64 == 0) {
        server.reset();
        server = std::make_unique<Running>(root());
    }
    const int fd = connectClient();
    // Replies are read while writing, so that neither side can fill the other's buffer.
    std::thread reader([fd] {
        char buffer[4096];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
    });
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;  // the server may refuse and close before reading it all
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
    // The server must close its end once the input is used up: a hang here is a finding.
    reader.join();
    ::close(fd);
    return 0;
}
