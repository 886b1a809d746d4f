#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "platform/log.h"

namespace platform::linux_impl {

// Longest line the log keeps; anything longer is cut.
inline constexpr std::size_t kMaxLogLineBytes = 8192;

// What a log line becomes before it is written: final line feeds dropped, other control
// characters shown as escapes (so a line feed cannot forge a second line and a NUL cannot cut it
// short), and a line longer than
// `limit` cut at a character boundary with a note of how many of its bytes were left out.
std::string loggableLine(std::string_view line, std::size_t limit = kMaxLogLineBytes);

// Each line goes to the system log and to standard error, and, given a file, is appended there
// too, for desktops whose system log the user cannot follow. Where standard error is itself the
// journal (a systemd service), the system log alone carries it, or each line would show twice.
class SystemLog : public Log {
public:
    explicit SystemLog(std::string ident, std::optional<std::filesystem::path> file = std::nullopt);
    ~SystemLog() override;
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;
    void write(std::string_view line) override;

private:
    std::string ident_;  // syslog keeps the pointer
    bool toStderr_ = true;
    std::mutex stderrMutex_;
    int fileFd_ = -1;
};

}  // namespace platform::linux_impl
