#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/log.h"
#include "platform/testing/locked.h"

namespace platform::testing {

// Keeps every line, as the system log would write it; safe to write from any thread.
class RecordingLog : public Log {
public:
    void write(std::string_view line) override;
    std::vector<std::string> lines() const { return lines_.get(); }
    // Lines that contain `text`.
    std::vector<std::string> matching(std::string_view text) const {
        std::vector<std::string> found;
        for (auto& line : lines_.get()) {
            if (line.find(text) != std::string::npos) found.push_back(std::move(line));
        }
        return found;
    }
    bool contains(std::string_view text) const { return !matching(text).empty(); }
    void clear() { lines_.set({}); }

private:
    Locked<std::vector<std::string>> lines_;
};

}  // namespace platform::testing
