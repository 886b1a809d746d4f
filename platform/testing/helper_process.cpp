#include "platform/testing/helper_process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace platform::testing {

namespace {

// Whether an event in `events` (as read from an inotify descriptor) names `name`.
bool names(const char* events, ssize_t size, const std::string& name) {
    for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        if (event->len > 0 && name == event->name) return true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    return false;
}

}  // namespace

pid_t startHelperProcess(const std::string& program, const std::filesystem::path& root,
                         const std::filesystem::path& socket,
                         const std::vector<std::string>& environment) {
    // The helper renames its socket into place once it listens: that event is what is waited for.
    std::error_code ec;
    std::filesystem::create_directories(socket.parent_path(), ec);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, socket.parent_path().c_str(), IN_MOVED_TO) < 0) {
        if (watch >= 0) ::close(watch);
        return -1;
    }
    const std::string rootVar = "ORVANE_SYSTEM_ROOT=" + root.string();
    char pathVar[] = "PATH=/usr/bin:/bin";
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    std::vector<char*> envp{const_cast<char*>(rootVar.c_str()), pathVar};
    for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid = -1;
    // A helper that never gets so far is the test's failure to report, after 5 s at most.
    pollfd ready{watch, POLLIN, 0};
    alignas(inotify_event) char events[sizeof(inotify_event) + NAME_MAX + 1];
    while (pid > 0 && ::poll(&ready, 1, 5000) > 0) {
        const ssize_t n = ::read(watch, events, sizeof events);
        if (n <= 0 || names(events, n, socket.filename().string())) break;
    }
    ::close(watch);
    return pid;
}

}  // namespace platform::testing
