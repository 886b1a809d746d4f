#include "service/config_parser.h"

#include <cstdint>

namespace config_parser {
namespace {

// Exactly these four; other white space belongs to keys and values.
constexpr std::string_view kTrimmed = " \t\r\n";

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kTrimmed);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kTrimmed);
    return s.substr(first, last - first + 1);
}

struct Pair {
    std::string_view key;
    std::string_view value;
};

// Splits at the first "=" that has something before it. Leading "=" are dropped, and a line
// with nothing after its "=" is not a pair.
std::optional<Pair> splitPair(std::string_view line) {
    const auto start = line.find_first_not_of('=');
    if (start == std::string_view::npos) return std::nullopt;
    line.remove_prefix(start);
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || eq + 1 == line.size()) return std::nullopt;
    return Pair{line.substr(0, eq), line.substr(eq + 1)};
}

}  // namespace

std::optional<std::string> findValue(std::string_view text, std::string_view name) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const auto pair = splitPair(line);
        if (pair && trim(pair->key) == name) return std::string(trim(pair->value));
    }
    return std::nullopt;
}

bool isValidUtf8(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<std::uint8_t>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + length > n) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto cc = static_cast<std::uint8_t>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string_view skipByteOrderMark(std::string_view text) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    return text;
}

}  // namespace config_parser
