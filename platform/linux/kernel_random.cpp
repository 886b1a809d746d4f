#include "platform/linux/kernel_random.h"

#include <sys/random.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace platform::linux_impl {
namespace {

void fillRandom(void* buffer, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::getrandom(bytes + done, size - done, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            // Without the kernel's generator there is no safe randomness at all.
            std::perror("getrandom");
            std::abort();
        }
        done += static_cast<std::size_t>(got);
    }
}

std::uint32_t randomWord() {
    std::uint32_t word = 0;
    fillRandom(&word, sizeof word);
    return word;
}

}  // namespace

std::uint32_t uniformBelow(std::uint32_t upperBound,
                           const std::function<std::uint32_t()>& nextWord) {
    if (upperBound <= 1) return 0;
    // 2^32 mod upperBound, computed without 64-bit arithmetic.
    const std::uint32_t rejected = static_cast<std::uint32_t>(-upperBound) % upperBound;
    for (;;) {
        const std::uint32_t word = nextWord();
        if (word >= rejected) return word % upperBound;
    }
}

std::uint32_t KernelRandom::uniform(std::uint32_t upperBound) {
    return uniformBelow(upperBound, randomWord);
}

std::string KernelRandom::uuidString() {
    // The kernel makes a fresh version 4 UUID on every read of this file.
    std::ifstream in("/proc/sys/kernel/random/uuid");
    std::string text;
    if (in >> text && text.size() == 36) {
        for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return text;
    }
    unsigned char bytes[16];
    fillRandom(bytes, sizeof bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    char out[37];
    std::snprintf(out, sizeof out,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return out;
}

}  // namespace platform::linux_impl
