#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>

// Small pieces of careful file I/O shared by the Linux implementations.
namespace platform::linux_impl {

// Closes the descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error a late write-back may surface.
    int close();

private:
    int fd_;
};

// 0, or the errno of the write that failed; retries short and interrupted writes.
int writeAll(int fd, const char* data, std::size_t size);
// Copies `in` from its start to `out`: 0 or an errno.
int copyAll(int out, int in);

// A file larger than its limit raises SIGXFSZ, which would end the process; the failed write
// that comes with it is what callers report instead.
void ignoreFileSizeSignal();

// Replaces `target` in one step: `fill` gives a temporary file in the same folder its mode and
// contents (0 or an errno), and the file is flushed and renamed over the target. On failure
// the old file stays and no temporary file is left. 0 or an errno.
int replaceAtomically(const std::filesystem::path& target, const std::function<int(int fd)>& fill);

}  // namespace platform::linux_impl
