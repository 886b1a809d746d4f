#include "platform/linux/posix_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace platform::linux_impl {

Fd::~Fd() {
    if (fd_ >= 0) ::close(fd_);
}

int Fd::close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int copyAll(int out, int in) {
    if (::lseek(in, 0, SEEK_SET) != 0) return errno;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        if (int error = writeAll(out, buffer, static_cast<std::size_t>(n))) return error;
    }
}

void ignoreFileSizeSignal() {
    static const bool ignored = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignored;
}

int replaceAtomically(const std::filesystem::path& target, const std::function<int(int fd)>& fill) {
    ignoreFileSizeSignal();
    const std::filesystem::path dir = target.parent_path().empty() ? "." : target.parent_path();
    // Built by appending: GCC 12 at -O3 warns falsely about `"." + name`.
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string temp = (dir / name).string();
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return errno;
    const auto fail = [&](int error) {
        ::unlink(temp.c_str());
        return error;
    };
    if (int error = fill(fd.get())) return fail(error);
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (fd.close() != 0) return fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
    // Makes the rename itself durable.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
    return 0;
}

}  // namespace platform::linux_impl
