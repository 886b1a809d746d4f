#include "platform/linux/curl_transfer.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/linux/curl_url.h"

namespace platform::linux_impl {
namespace {

std::size_t onBody(char* bytes, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<CurlTransfer*>(context);
    if (size * count > kMaxResponseBodyBytes - transfer.data.size()) {
        // Taking less than offered makes libcurl stop the transfer.
        transfer.bodyTooLarge = true;
        return 0;
    }
    transfer.data.append(bytes, size * count);
    return size * count;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::size_t onHeader(char* bytes, std::size_t size, std::size_t count, void* context) {
    auto& transfer = *static_cast<CurlTransfer*>(context);
    const std::string_view line(bytes, size * count);
    if (line.starts_with("HTTP/")) {
        // A new status line (after an interim 1xx reply) starts a new header block.
        transfer.responseHeaders.clear();
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer.responseHeaders.emplace_back(trimmed(line.substr(0, colon)),
                                              trimmed(line.substr(colon + 1)));
    }
    return size * count;
}

bool sendsBody(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "PATCH";
}

long timeoutMilliseconds(double seconds, std::optional<Duration> cap) {
    auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(platform::seconds(seconds));
    if (cap) limit = std::min(limit, std::chrono::duration_cast<std::chrono::milliseconds>(*cap));
    return std::max<long>(1, static_cast<long>(limit.count()));
}

}  // namespace

CurlTransfer::CurlTransfer(UrlRequest request, DataTaskCompletion completion)
    : request(std::move(request)), completion(std::move(completion)), easy(curl_easy_init()) {}

CurlTransfer::~CurlTransfer() {
    if (headerList) curl_slist_free_all(headerList);
    if (easy) curl_easy_cleanup(easy);
}

bool CurlTransfer::configure(std::optional<Duration> timeoutCap) {
    if (!easy) return false;
    curl_easy_reset(easy);
    if (headerList) curl_slist_free_all(headerList);
    headerList = nullptr;
    data.clear();
    bodyTooLarge = false;
    responseHeaders.clear();
    errorBuffer[0] = '\0';

    const std::string method = request.effectiveMethod();
    bool ok = curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                     timeoutMilliseconds(request.timeoutInterval, timeoutCap));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);

    if (method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (method != "POST") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    }
    if (request.body || sendsBody(method)) {
        // An absent body on POST, PUT or PATCH goes out as an empty one with a length of 0.
        const std::string& body = request.body ? *request.body : data;
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
        if (method == "POST") curl_easy_setopt(easy, CURLOPT_POST, 1L);
    }

    for (const auto& [name, value] : request.headers) {
        // "Name;" is how libcurl sends a header with an empty value.
        std::string line = name;
        line.append(value.empty() ? ";" : ": ").append(value);
        headerList = curl_slist_append(headerList, line.c_str());
    }
    // libcurl would otherwise invent a form content type and a 100-continue handshake.
    if (!request.value("Content-Type")) headerList = curl_slist_append(headerList, "Content-Type:");
    headerList = curl_slist_append(headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    return ok;
}

std::optional<UrlRequest> CurlTransfer::redirectRequest(long status) const {
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) {
        return std::nullopt;
    }
    char* location = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location) != CURLE_OK || !location) {
        return std::nullopt;
    }
    UrlRequest next = request;
    next.url = location;
    const std::string method = request.effectiveMethod();
    if ((status == 303 && method != "HEAD") ||
        ((status == 301 || status == 302) && method == "POST")) {
        next.method = "GET";
        next.body.reset();
        std::erase_if(next.headers,
                      [](auto& h) { return headerNameEquals(h.first, "Content-Type"); });
    }
    if (originOf(next.url) != originOf(request.url)) {
        // Headers the caller set were meant for the origin it addressed, credentials included.
        std::erase_if(next.headers,
                      [](auto& h) { return !headerNameEquals(h.first, "Content-Type"); });
    }
    return next;
}

UrlError transportError(CURLcode code) {
    using Kind = UrlError::Kind;
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return {Kind::cannotConnectToHost, "Could not connect to the server."};
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return {Kind::cannotFindHost,
                    "A server with the specified hostname could not be found."};
        case CURLE_OPERATION_TIMEDOUT: return {Kind::timedOut, "The request timed out."};
        case CURLE_URL_MALFORMAT: return notWebURLError();
        // URLs are checked before they are sent, so these come from what the server answered.
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_WEIRD_SERVER_REPLY:
            return {Kind::other, "The server's reply was not a valid HTTP response."};
        case CURLE_PEER_FAILED_VERIFICATION:
            return {Kind::secureConnectionFailed,
                    "The server's certificate is not trusted, so no secure connection was made."};
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return {Kind::secureConnectionFailed,
                    "A secure connection to the server could not be made."};
        case CURLE_TOO_MANY_REDIRECTS: return tooManyRedirectsError();
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return {Kind::networkConnectionLost, "The network connection was lost."};
        default:
            return {Kind::other,
                    std::string("The request failed: ") + curl_easy_strerror(code) + "."};
    }
}

bool hasWireSafeHead(const UrlRequest& request) {
    const auto safe = [](std::string_view text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
    };
    const std::string method = request.effectiveMethod();
    const bool methodIsToken = std::all_of(method.begin(), method.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    });
    if (!methodIsToken) return false;
    return std::all_of(request.headers.begin(), request.headers.end(), [&](const auto& header) {
        return !header.first.empty() && safe(header.first) &&
               header.first.find(':') == std::string::npos && safe(header.second);
    });
}

UrlError unsafeHeadError() {
    return {UrlError::Kind::other,
            "The request was not sent because its method or a header holds a line break."};
}

UrlError notWebURLError() {
    return {UrlError::Kind::unsupportedURL,
            "The request was not sent because its address does not begin with http:// or "
            "https:// followed by a server name."};
}

UrlError clearTextError() {
    return {UrlError::Kind::unsupportedURL,
            "The request was not sent because its address begins with http://, which would "
            "carry the sign-in and its credentials unencrypted to another computer. Use an "
            "address that begins with https:// instead."};
}

UrlError responseTooLargeError() {
    return {UrlError::Kind::other, "The server's reply was larger than " +
                                       std::to_string(kMaxResponseBodyBytes >> 20) +
                                       " MB and was not read."};
}

UrlError cancelledError() { return {UrlError::Kind::cancelled, "The request was cancelled."}; }

UrlError tooManyRedirectsError() {
    return {UrlError::Kind::tooManyRedirects, "The server redirected the request too many times."};
}

}  // namespace platform::linux_impl
