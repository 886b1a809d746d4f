#include "platform/linux/running_applications.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform::linux_impl {
namespace {

constexpr char kLockExtension[] = ".lock";

std::filesystem::path lockFolder(const std::filesystem::path& runtimeDir) {
    return runtimeDir / "running-applications";
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// Without blocking, and only a regular file: a FIFO or device put in the folder would otherwise
// hang whoever opens it, at start.
int openLockFile(const std::filesystem::path& file, int flags) {
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int flockRetrying(int fd, int operation) {
    int rc;
    while ((rc = ::flock(fd, operation)) != 0 && errno == EINTR) {
    }
    return rc;
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::filesystem::path& runtimeDir,
                                                    const std::string& bundleIdentifier) {
    if (!isPlainName(bundleIdentifier)) return nullptr;
    const auto folder = lockFolder(runtimeDir);
    ::mkdir(folder.c_str(), 0700);
    const auto file = folder / (bundleIdentifier + kLockExtension);
    // Close-on-exec: a program the application starts must not keep it "running".
    const int fd = openLockFile(file, O_RDONLY | O_CREAT);
    if (fd < 0) return nullptr;
    if (flockRetrying(fd, LOCK_SH) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::Sole InstanceLock::acquireSole(const std::filesystem::path& runtimeDir,
                                             const std::string& bundleIdentifier) {
    if (!isPlainName(bundleIdentifier)) return {};
    const auto folder = lockFolder(runtimeDir);
    ::mkdir(folder.c_str(), 0700);
    // Not the ".lock" that tells who runs: others probe that one with exclusive locks of their
    // own, and a probe at the wrong moment must not pass for a running instance.
    const int fd = openLockFile(folder / (bundleIdentifier + ".first"), O_RDONLY | O_CREAT);
    if (fd < 0) return {};
    if (flockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return {nullptr, held};
    }
    return {std::unique_ptr<InstanceLock>(new InstanceLock(fd)), false};
}

InstanceLock::~InstanceLock() { ::close(fd_); }

std::vector<RunningApplication> runningApplicationsIn(const std::filesystem::path& runtimeDir) {
    std::vector<RunningApplication> running;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(lockFolder(runtimeDir), ec)) {
        const auto name = entry.path().filename().string();
        if (entry.path().extension() != kLockExtension) continue;
        const int fd = openLockFile(entry.path(), O_RDONLY);
        if (fd < 0) continue;
        // An exclusive lock is refused exactly while some instance holds its shared one.
        if (flockRetrying(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            running.push_back({name.substr(0, name.size() - (sizeof kLockExtension - 1))});
        }
        ::close(fd);
    }
    return running;
}

}  // namespace platform::linux_impl
