#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Cryptographically strong randomness.
class RandomSource {
public:
    RandomSource() = default;
    RandomSource(const RandomSource&) = delete;
    RandomSource& operator=(const RandomSource&) = delete;
    virtual ~RandomSource() = default;
    // A uniform, unbiased draw in [0, upperBound); upperBound must be at least 1.
    virtual std::uint32_t uniform(std::uint32_t upperBound) = 0;
    // A new random (version 4) UUID in its canonical upper-case form, 36 characters.
    virtual std::string uuidString() = 0;
};

}  // namespace platform
