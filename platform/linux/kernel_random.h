#pragma once

#include <cstdint>
#include <functional>

#include "platform/random_source.h"

namespace platform::linux_impl {

// Randomness from the kernel's CSPRNG.
class KernelRandom : public RandomSource {
public:
    std::uint32_t uniform(std::uint32_t upperBound) override;
    std::string uuidString() override;
};

// An unbiased draw below upperBound from 32-bit words: words at or above the largest multiple
// of upperBound are drawn again, so every result is equally likely.
std::uint32_t uniformBelow(std::uint32_t upperBound,
                           const std::function<std::uint32_t()>& nextWord);

}  // namespace platform::linux_impl
