#include "platform/testing/helper_process.h"

#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace platform::testing {

bool acceptsConnections(const std::filesystem::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.string().size() >= sizeof address.sun_path) return false;
    std::strcpy(address.sun_path, socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

pid_t startHelperProcess(const std::string& program, const std::filesystem::path& root,
                         const std::filesystem::path& socket) {
    const std::string rootVar = "ORVANE_SYSTEM_ROOT=" + root.string();
    char pathVar[] = "PATH=/usr/bin:/bin";
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    char* envp[] = {const_cast<char*>(rootVar.c_str()), pathVar, nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp) != 0) return -1;
    for (int i = 0; i < 500 && !acceptsConnections(socket); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pid;
}

}  // namespace platform::testing
