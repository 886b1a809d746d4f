#include "platform/linux/system_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/outside_text.h"

namespace platform::linux_impl {

std::string loggableLine(std::string_view line, std::size_t limit) {
    // A final line feed (program output has one) ends the line rather than belonging to it.
    while (line.ends_with('\n')) line.remove_suffix(line.ends_with("\r\n") ? 2 : 1);
    return escapedText(line, limit);
}

namespace {

// A file past this size is set aside as "<name>.1" when the next process opens it.
constexpr off_t kLogFileLimit = 4 << 20;

int openLogFile(const std::filesystem::path& file) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0 && info.st_size > kLogFileLimit) {
        std::filesystem::rename(file, file.string() + ".1", ec);
    }
    return ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

}  // namespace

SystemLog::SystemLog(std::string ident, std::optional<std::filesystem::path> file)
    : ident_(std::move(ident)), fileFd_(file ? openLogFile(*file) : -1) {
    ::openlog(ident_.c_str(), LOG_PID, LOG_USER);
}

SystemLog::~SystemLog() {
    ::closelog();
    if (fileFd_ >= 0) ::close(fileFd_);
}

void SystemLog::write(std::string_view line) {
    const std::string text = loggableLine(line);
    // The line is data, never a format.
    ::syslog(LOG_NOTICE, "%s", text.c_str());
    std::lock_guard lock(stderrMutex_);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    // One write per line, so lines of several threads or processes never interleave.
    if (fileFd_ >= 0) (void)!::write(fileFd_, (text + "\n").data(), text.size() + 1);
}

}  // namespace platform::linux_impl
