#include "platform/file_url.h"

#include <string_view>

namespace platform {
namespace {

constexpr std::string_view kFileScheme = "file://";
constexpr char kHex[] = "0123456789ABCDEF";

bool keptAsIs(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

std::optional<unsigned> hexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

}  // namespace

std::string fileURLWithPath(const std::string& path) {
    std::string url(kFileScheme);
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptAsIs(c)) {
            url += ch;
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 0xF];
        }
    }
    return url;
}

std::optional<std::string> pathOfFileURL(const std::string& url) {
    std::string_view rest(url);
    if (!rest.starts_with(kFileScheme)) return std::nullopt;
    rest.remove_prefix(kFileScheme.size());
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const auto high = i + 2 < rest.size() ? hexValue(rest[i + 1]) : std::nullopt;
        const auto low = i + 2 < rest.size() ? hexValue(rest[i + 2]) : std::nullopt;
        if (rest[i] == '%' && high && low) {
            path += static_cast<char>((*high << 4) | *low);
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

}  // namespace platform
