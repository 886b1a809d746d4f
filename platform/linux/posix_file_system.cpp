#include "platform/linux/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace platform::linux_impl {
namespace {

FileError errnoError(int error) { return FileError{std::generic_category().message(error)}; }

// Closes the descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error a late write-back may surface.
    int close() {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

int writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

// A file larger than its limit raises SIGXFSZ, which would end the process; the failed write
// that comes with it is what we want to report instead.
void ignoreFileSizeSignal() {
    static const bool ignored = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignored;
}

}  // namespace

FileResult<std::string> PosixFileSystem::readFile(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errnoError(errno);
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return errnoError(errno);
    if (S_ISDIR(st.st_mode)) return errnoError(EISDIR);
    std::string contents;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errnoError(errno);
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<size_t>(n));
    }
    return contents;
}

std::optional<FileError> PosixFileSystem::replaceFile(const std::filesystem::path& path,
                                                      const std::string& contents) {
    ignoreFileSizeSignal();
    const std::filesystem::path dir = path.parent_path().empty() ? "." : path.parent_path();
    // Built by appending: GCC 12 at -O3 warns falsely about `"." + name`.
    std::string name = ".";
    name += path.filename().string();
    name += ".XXXXXX";
    std::string temp = (dir / name).string();
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return errnoError(errno);
    auto fail = [&](int error) {
        ::unlink(temp.c_str());
        return std::optional<FileError>(errnoError(error));
    };

    // The file may hold secrets: a new file is private, a replaced one keeps its mode and owner.
    struct stat old{};
    if (::stat(path.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) return fail(EISDIR);
        if (::fchmod(fd.get(), old.st_mode & 07777) != 0) return fail(errno);
        if (::geteuid() == 0 && ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) return fail(errno);
    } else if (::fchmod(fd.get(), 0600) != 0) {
        return fail(errno);
    }
    if (int error = writeAll(fd.get(), contents.data(), contents.size())) return fail(error);
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (fd.close() != 0) return fail(errno);
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);
    // Make the rename itself durable.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
    return std::nullopt;
}

std::optional<FileError> PosixFileSystem::copyFileExclusive(const std::filesystem::path& from,
                                                            const std::filesystem::path& to) {
    ignoreFileSizeSignal();
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return errnoError(errno);
    struct stat st{};
    if (::fstat(in.get(), &st) != 0) return errnoError(errno);
    if (S_ISDIR(st.st_mode)) return errnoError(EISDIR);
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) return errnoError(errno);
    auto fail = [&](int error) {
        ::unlink(to.c_str());
        return std::optional<FileError>(errnoError(error));
    };
    if (::fchmod(out.get(), st.st_mode & 07777) != 0) return fail(errno);
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (n == 0) break;
        if (int error = writeAll(out.get(), buffer, static_cast<size_t>(n))) return fail(error);
    }
    if (::fsync(out.get()) != 0) return fail(errno);
    if (out.close() != 0) return fail(errno);
    return std::nullopt;
}

std::optional<FileError> PosixFileSystem::createDirectories(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) return FileError{ec.message()};
    if (!std::filesystem::is_directory(path, ec)) return errnoError(ENOTDIR);
    return std::nullopt;
}

bool PosixFileSystem::exists(const std::filesystem::path& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace platform::linux_impl
