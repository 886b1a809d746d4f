#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/random_source.h"

namespace platform::testing {

// Hands out scripted draws (each taken modulo the bound) and numbered UUIDs, and records the
// bounds asked for. Without a script the draws count up from 0.
class SequenceRandom : public RandomSource {
public:
    std::uint32_t uniform(std::uint32_t upperBound) override {
        std::lock_guard lock(mutex_);
        bounds_.push_back(upperBound);
        const std::uint32_t value =
            values_.empty() ? counter_++ : values_[next_++ % values_.size()];
        return upperBound ? value % upperBound : 0;
    }
    std::string uuidString() override {
        std::lock_guard lock(mutex_);
        char text[37];
        std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012X", ++uuids_);
        return text;
    }

    void script(std::vector<std::uint32_t> values) {
        std::lock_guard lock(mutex_);
        values_ = std::move(values);
        next_ = 0;
    }
    std::vector<std::uint32_t> bounds() const {
        std::lock_guard lock(mutex_);
        return bounds_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> values_;
    std::size_t next_ = 0;
    std::uint32_t counter_ = 0;
    std::vector<std::uint32_t> bounds_;
    int uuids_ = 0;
};

}  // namespace platform::testing
