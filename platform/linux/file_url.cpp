#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <string_view>

#include "platform/wizard_controls.h"

namespace platform {
namespace {

constexpr std::string_view kFileScheme = "file://";

bool keptAsIs(unsigned char c) {
    return (c < 128 && std::isalnum(c)) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string fileURLWithPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
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
    if (!std::string_view(url).starts_with(kFileScheme)) return std::nullopt;
    const std::string encoded = url.substr(kFileScheme.size());
    int length = 0;
    std::unique_ptr<char, void (*)(void*)> decoded(
        curl_easy_unescape(nullptr, encoded.c_str(), static_cast<int>(encoded.size()), &length),
        curl_free);
    if (!decoded) return std::nullopt;
    return std::string(decoded.get(), static_cast<std::size_t>(length));
}

}  // namespace platform
