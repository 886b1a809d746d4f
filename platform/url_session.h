#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Header names compare without regard to case, as HTTP says.
inline bool headerNameEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

using HeaderList = std::vector<std::pair<std::string, std::string>>;

inline std::optional<std::string> headerValue(const HeaderList& headers, std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (headerNameEquals(key, name)) return value;
    }
    return std::nullopt;
}

struct UrlRequest {
    std::string url;
    // Empty means GET.
    std::string method;
    std::optional<std::string> body;
    HeaderList headers;
    double timeoutInterval = 60.0;

    // Replaces every earlier value of the header.
    void setValue(const std::string& value, const std::string& header) {
        std::erase_if(headers, [&](const auto& h) { return headerNameEquals(h.first, header); });
        headers.emplace_back(header, value);
    }
    std::optional<std::string> value(std::string_view header) const {
        return headerValue(headers, header);
    }
    std::string effectiveMethod() const { return method.empty() ? "GET" : method; }
};

struct UrlResponse {
    // The address that finally answered, after redirections.
    std::string url;
    // Absent for a reply that did not come over HTTP.
    std::optional<int> statusCode;
    HeaderList headers;

    std::optional<std::string> value(std::string_view header) const {
        return headerValue(headers, header);
    }
};

struct UrlError {
    enum class Kind {
        cannotConnectToHost,
        cannotFindHost,
        timedOut,
        unsupportedURL,
        secureConnectionFailed,
        tooManyRedirects,
        networkConnectionLost,
        cancelled,
        other,
    };
    Kind kind = Kind::other;
    // A complete sentence for the person at the computer.
    std::string localizedDescription;
};

// Called exactly once per task, on the session's background callback queue.
using DataTaskCompletion =
    std::function<void(std::optional<std::string> data, std::optional<UrlResponse> response,
                       std::optional<UrlError> error)>;

class UrlSession {
public:
    UrlSession() = default;
    UrlSession(const UrlSession&) = delete;
    UrlSession& operator=(const UrlSession&) = delete;
    virtual ~UrlSession() = default;

    // Sends the request at once and returns; never calls back before returning.
    virtual void dataTask(const UrlRequest& request, DataTaskCompletion completion) = 0;

    // Whether the text is a URL at all, absolute or relative. A relative reference passes here
    // and then fails as a transport error when it is sent.
    virtual bool isValidURL(const std::string& text) const = 0;
};

}  // namespace platform
