#include "platform/linux/posix_file_system.h"

#include "platform/linux/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace platform::linux_impl {
namespace {

FileError errnoError(int error) { return FileError{std::generic_category().message(error)}; }

}  // namespace

FileResult<std::string> PosixFileSystem::readFile(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errnoError(errno);
    struct stat st {};
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
    const int error = replaceAtomically(path, [&](int fd) {
        // The file may hold secrets: a new file is private, a replaced one keeps its mode and
        // owner.
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0) {
            if (S_ISDIR(old.st_mode)) return EISDIR;
            if (::fchmod(fd, old.st_mode & 07777) != 0) return errno;
            if (::geteuid() == 0 && ::fchown(fd, old.st_uid, old.st_gid) != 0) return errno;
        } else if (::fchmod(fd, 0600) != 0) {
            return errno;
        }
        return writeAll(fd, contents.data(), contents.size());
    });
    if (error) return errnoError(error);
    return std::nullopt;
}

std::optional<FileError> PosixFileSystem::copyFileExclusive(const std::filesystem::path& from,
                                                            const std::filesystem::path& to) {
    ignoreFileSizeSignal();
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return errnoError(errno);
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) return errnoError(errno);
    if (S_ISDIR(st.st_mode)) return errnoError(EISDIR);
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) return errnoError(errno);
    auto fail = [&](int error) {
        ::unlink(to.c_str());
        return std::optional<FileError>(errnoError(error));
    };
    if (::fchmod(out.get(), st.st_mode & 07777) != 0) return fail(errno);
    if (int error = copyAll(out.get(), in.get())) return fail(error);
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
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

ItemKind PosixFileSystem::itemKind(const std::filesystem::path& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return ItemKind::Nothing;
    return S_ISDIR(st.st_mode) ? ItemKind::Directory : ItemKind::Other;
}

}  // namespace platform::linux_impl
