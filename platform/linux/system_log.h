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

// What a log line becomes before it is written: final line feeds dropped, then escapedText, so a
// line feed cannot forge a second line, a NUL cannot cut it short and a C1 control cannot steer
// the terminal that shows it; a line longer than `limit` is cut.
std::string loggableLine(std::string_view line, std::size_t limit = kMaxLogLineBytes);

// What the application's lines are filed under in the journal, and what its log script follows:
// not the executable's name, since journald keeps no identifier with blanks.
inline constexpr char kApplicationLogIdentifier[] = "orvane-storage-gateway";

// A log file is set aside as "<name>.1" (one generation) before a line would take it past this.
inline constexpr std::size_t kLogFileLimit = 4 << 20;

// Each line goes to the system log and to standard error, and, given a file, is appended there
// too, for desktops whose system log the user cannot follow. Where standard error is itself the
// journal (a systemd service), the system log alone carries it, or each line would show twice.
class SystemLog : public Log {
public:
    explicit SystemLog(std::string ident, std::optional<std::filesystem::path> file = std::nullopt,
                       std::size_t fileLimit = kLogFileLimit);
    ~SystemLog() override;
    SystemLog(const SystemLog&) = delete;
    SystemLog& operator=(const SystemLog&) = delete;
    void write(std::string_view line) override;

private:
    void setFileAsideBefore(std::size_t lineBytes);

    std::string ident_;  // syslog keeps the pointer
    bool toStderr_ = true;
    std::optional<std::filesystem::path> file_;
    std::size_t fileLimit_;
    std::mutex mutex_;
    int fileFd_ = -1;
    std::size_t fileBytes_ = 0;
};

}  // namespace platform::linux_impl
