#include "platform/linux/system_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/outside_text.h"

namespace platform::linux_impl {

std::string loggableLine(std::string_view line, std::size_t limit) {
    // A final line feed (program output has one) ends the line rather than belonging to it.
    while (line.ends_with('\n')) line.remove_suffix(line.ends_with("\r\n") ? 2 : 1);
    return escapedText(line, limit);
}

namespace {

int openLogFile(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    return ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// systemd names the journal stream it gives a service as "<device>:<inode>"; descriptor 2 is
// that stream only while it still is that very file, not once redirected.
bool stderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat info {};
    if (!stream || ::fstat(STDERR_FILENO, &info) != 0) return false;
    unsigned long long device = 0, inode = 0;
    char end = 0;
    if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &end) != 2) return false;
    return device == info.st_dev && inode == info.st_ino;
}

std::size_t sizeOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

// Whether the descriptor still is the file at `path`: another process may have set it aside.
bool isFileAt(int fd, const std::filesystem::path& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

SystemLog::SystemLog(std::string ident, std::optional<std::filesystem::path> file,
                     std::size_t fileLimit)
    : ident_(std::move(ident)),
      toStderr_(!stderrIsJournal()),
      file_(std::move(file)),
      fileLimit_(fileLimit) {
    ::openlog(ident_.c_str(), LOG_PID, LOG_USER);
    if (!file_) return;
    fileFd_ = openLogFile(*file_);
    if (fileFd_ >= 0) fileBytes_ = sizeOf(fileFd_);
}

SystemLog::~SystemLog() {
    ::closelog();
    if (fileFd_ >= 0) ::close(fileFd_);
}

void SystemLog::setFileAsideBefore(std::size_t lineBytes) {
    if (fileBytes_ == 0 || fileBytes_ + lineBytes <= fileLimit_) return;
    // Counted, not asked of the file system, for every line; only a full file is looked at.
    std::error_code ec;
    if (isFileAt(fileFd_, *file_)) std::filesystem::rename(*file_, file_->string() + ".1", ec);
    const int reopened = openLogFile(*file_);
    if (reopened < 0) return;  // keep writing where we were rather than lose lines
    ::close(fileFd_);
    fileFd_ = reopened;
    fileBytes_ = sizeOf(fileFd_);
}

void SystemLog::write(std::string_view line) {
    const std::string text = loggableLine(line);
    // The line is data, never a format.
    ::syslog(LOG_NOTICE, "%s", text.c_str());
    std::lock_guard lock(mutex_);
    if (toStderr_) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    if (fileFd_ < 0) return;
    setFileAsideBefore(text.size() + 1);
    // One write per line, so lines of several threads or processes never interleave.
    if (::write(fileFd_, (text + "\n").data(), text.size() + 1) > 0) fileBytes_ += text.size() + 1;
}

}  // namespace platform::linux_impl
