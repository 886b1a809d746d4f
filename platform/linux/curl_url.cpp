#include "platform/linux/curl_url.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <string_view>

namespace platform::linux_impl {
namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlHandleDeleter>;

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

bool hasOnlyURLCharacters(std::string_view text) {
    constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            continue;
        }
        const auto u = static_cast<unsigned char>(c);
        if (u < 128 && std::isalnum(u)) continue;
        if (allowed.find(c) != std::string_view::npos) continue;
        return false;
    }
    return true;
}

bool hasScheme(std::string_view text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text) {
        if (c == ':') return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

std::optional<std::string> part(CURLU* handle, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || !value) return std::nullopt;
    std::string text(value);
    curl_free(value);
    return text;
}

UrlHandle parseAbsolute(const std::string& text) {
    UrlHandle handle(curl_url());
    if (!handle) return nullptr;
    if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK) {
        return nullptr;
    }
    return handle;
}

}  // namespace

bool isValidURLText(const std::string& text) {
    if (text.empty() || !hasOnlyURLCharacters(text)) return false;
    if (hasScheme(text)) return parseAbsolute(text) != nullptr;
    // A relative reference is valid when it resolves against some absolute base.
    UrlHandle handle(curl_url());
    if (!handle) return false;
    if (curl_url_set(handle.get(), CURLUPART_URL, "http://relative.invalid/", 0) != CURLUE_OK) {
        return false;
    }
    return curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
}

std::optional<std::string> originOf(const std::string& url) {
    if (!hasScheme(url)) return std::nullopt;
    auto handle = parseAbsolute(url);
    if (!handle) return std::nullopt;
    auto scheme = part(handle.get(), CURLUPART_SCHEME);
    auto host = part(handle.get(), CURLUPART_HOST);
    if (!scheme || !host || (*scheme != "http" && *scheme != "https")) return std::nullopt;
    char* port = nullptr;
    std::string portText;
    if (curl_url_get(handle.get(), CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
        portText = port;
        curl_free(port);
    }
    std::string origin = *scheme + "://" + *host + ":" + portText;
    for (auto& c : origin) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return origin;
}

bool isWebURL(const std::string& text) {
    return isValidURLText(text) && originOf(text).has_value();
}

bool isClearTextToAnotherComputer(const std::string& url) {
    auto handle = parseAbsolute(url);
    if (!handle) return false;
    const auto scheme = part(handle.get(), CURLUPART_SCHEME);
    auto host = part(handle.get(), CURLUPART_HOST);
    if (!scheme || !host || *scheme != "http") return false;
    for (auto& c : *host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (*host == "localhost") return false;
    in_addr v4{};
    if (::inet_pton(AF_INET, host->c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) != 127;
    in6_addr v6{};
    if (host->size() > 2 && host->front() == '[' && host->back() == ']' &&
        ::inet_pton(AF_INET6, host->substr(1, host->size() - 2).c_str(), &v6) == 1) {
        return !IN6_IS_ADDR_LOOPBACK(&v6);
    }
    return true;
}

}  // namespace platform::linux_impl
