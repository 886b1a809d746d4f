#include "platform/testing/random_sequence.h"

#include <cstdio>

namespace platform::testing {

std::uint32_t SequenceRandom::uniform(std::uint32_t upperBound) {
    std::lock_guard lock(mutex_);
    bounds_.push_back(upperBound);
    const std::uint32_t value = values_.empty() ? counter_++ : values_[next_++ % values_.size()];
    return upperBound ? value % upperBound : 0;
}

std::string SequenceRandom::uuidString() {
    std::lock_guard lock(mutex_);
    char text[37];
    std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012X", ++uuids_);
    return text;
}

void SequenceRandom::script(std::vector<std::uint32_t> values) {
    std::lock_guard lock(mutex_);
    values_ = std::move(values);
    next_ = 0;
}

std::vector<std::uint32_t> SequenceRandom::bounds() const {
    std::lock_guard lock(mutex_);
    return bounds_;
}

}  // namespace platform::testing
