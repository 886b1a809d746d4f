#include "platform/testing/recording_log.h"

#include "platform/linux/system_log.h"

namespace platform::testing {

void RecordingLog::write(std::string_view line) {
    std::lock_guard lock(mutex_);
    // Kept as the system log would write it.
    lines_.push_back(linux_impl::loggableLine(line));
}

std::vector<std::string> RecordingLog::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> RecordingLog::matching(std::string_view text) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const auto& line : lines_) {
        if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
}

void RecordingLog::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace platform::testing
