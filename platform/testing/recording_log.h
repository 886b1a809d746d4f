#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/log.h"

namespace platform::testing {

// Keeps every line; safe to write from any thread.
class RecordingLog : public Log {
public:
    void write(std::string_view line) override;
    std::vector<std::string> lines() const;
    // Lines that contain `text`.
    std::vector<std::string> matching(std::string_view text) const;
    bool contains(std::string_view text) const { return !matching(text).empty(); }
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace platform::testing
