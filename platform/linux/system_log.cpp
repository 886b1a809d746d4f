#include "platform/linux/system_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace platform::linux_impl {

std::string loggableLine(std::string_view line, std::size_t limit) {
    static constexpr char kHex[] = "0123456789abcdef";
    // A final line feed (program output has one) ends the line rather than belonging to it.
    while (line.ends_with('\n')) line.remove_suffix(line.ends_with("\r\n") ? 2 : 1);
    std::string text;
    text.reserve(std::min(line.size(), limit));
    std::size_t used = 0;
    for (; used < line.size(); ++used) {
        const auto c = static_cast<unsigned char>(line[used]);
        std::string piece;
        switch (c) {
            case '\n': piece = "\\n"; break;
            case '\r': piece = "\\r"; break;
            case '\t': piece = "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    piece = {'\\', 'x', kHex[c >> 4], kHex[c & 0xf]};
                } else {
                    piece.assign(1, static_cast<char>(c));
                }
        }
        if (text.size() + piece.size() > limit) break;
        text += piece;
    }
    if (used == line.size()) return text;
    // Never leave half a UTF-8 character behind.
    while (used > 0 && (static_cast<unsigned char>(line[used]) & 0xc0) == 0x80) {
        --used;
        text.pop_back();
    }
    return text + " [" + std::to_string(line.size() - used) + " more bytes left out]";
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

}  // namespace

SystemLog::SystemLog(std::string ident, std::optional<std::filesystem::path> file)
    : ident_(std::move(ident)),
      toStderr_(!stderrIsJournal()),
      fileFd_(file ? openLogFile(*file) : -1) {
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
    if (toStderr_) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    // One write per line, so lines of several threads or processes never interleave.
    if (fileFd_ >= 0) (void)!::write(fileFd_, (text + "\n").data(), text.size() + 1);
}

}  // namespace platform::linux_impl
