#include "platform/linux/xdg_workspace.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>
#include <vector>

#include "platform/linux/curl_url.h"

extern char** environ;

namespace platform::linux_impl {

std::optional<int> XdgWorkspace::spawnOpener(const std::string& url) const {
    if (!isWebURL(url)) return std::nullopt;
    std::string program = opener_;
    std::string argument = url;
    std::vector<char*> argv{program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return std::nullopt;
    }
    return pid;
}

bool XdgWorkspace::openURL(const std::string& url) {
    auto pid = spawnOpener(url);
    if (!pid) return false;
    // The opener returns quickly; reap it off the calling thread so no zombie is left behind.
    std::thread([pid = *pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace platform::linux_impl
