#include "platform/linux/clocked_poll.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace platform::linux_impl {

ClockedPoll::~ClockedPoll() {
    for (int fd : pipe_) {
        if (fd >= 0) ::close(fd);
    }
}

int ClockedPoll::wait(std::span<pollfd> fds, std::optional<Clock::TimePoint> deadline) {
    std::vector<pollfd> all(fds.begin(), fds.end());
    for (;;) {
        int timeout = -1;
        std::shared_ptr<void> woken;
        if (deadline) {
            const auto now = clock_.now();
            if (now >= *deadline) return 0;
            woken = clock_.wakeAt(*deadline, [this] { wake(); });
            if (!woken) {
                // Rounded up, so that the wait does not end just before the deadline and spin.
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
                timeout = static_cast<int>(std::min<std::int64_t>(left.count(), INT_MAX));
            }
        }
        all.resize(fds.size());
        if (woken) {
            const int fd = wakeFd();
            if (fd < 0) return -1;
            all.push_back({fd, POLLIN, 0});
        }
        int ready = ::poll(all.data(), all.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return ready;
        }
        if (woken && all.back().revents) {
            char bytes[16];
            while (::read(all.back().fd, bytes, sizeof bytes) > 0) {
            }
            --ready;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) fds[i].revents = all[i].revents;
        // Otherwise the time-out or the clock ended the wait: look at the clock again.
        if (ready > 0) return ready;
    }
}

int ClockedPoll::wakeFd() {
    std::lock_guard lock(mutex_);
    if (pipe_[0] < 0 && ::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
    return pipe_[0];
}

void ClockedPoll::wake() {
    if (wakeFd() < 0) return;
    std::lock_guard lock(mutex_);
    const char byte = 0;
    [[maybe_unused]] auto n = ::write(pipe_[1], &byte, 1);
}

}  // namespace platform::linux_impl
