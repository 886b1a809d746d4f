#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/random_source.h"

namespace platform::testing {

// Hands out scripted draws (each taken modulo the bound) and numbered UUIDs, and records the
// bounds asked for. Without a script the draws count up from 0.
class SequenceRandom : public RandomSource {
public:
    std::uint32_t uniform(std::uint32_t upperBound) override;
    std::string uuidString() override;

    void script(std::vector<std::uint32_t> values);
    std::vector<std::uint32_t> bounds() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> values_;
    std::size_t next_ = 0;
    std::uint32_t counter_ = 0;
    std::vector<std::uint32_t> bounds_;
    int uuids_ = 0;
};

}  // namespace platform::testing
