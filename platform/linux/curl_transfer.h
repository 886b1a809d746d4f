#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/url_session.h"

namespace platform::linux_impl {

// The most of a reply body a transfer keeps: far above any record the service sends, far below
// what would hurt a menu-bar app. A longer body ends the transfer with responseTooLargeError().
inline constexpr std::size_t kMaxResponseBodyBytes = 16 << 20;

// One request in flight, across its redirections. Owned by the session's worker thread.
struct CurlTransfer {
    UrlRequest request;
    DataTaskCompletion completion;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::string data;
    // Set when the body outgrew kMaxResponseBodyBytes and the transfer was stopped for it.
    bool bodyTooLarge = false;
    HeaderList responseHeaders;
    int redirects = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CurlTransfer(UrlRequest request, DataTaskCompletion completion);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Sets the easy handle up for the current request; false when libcurl refuses.
    bool configure(std::optional<Duration> timeoutCap);
    // The request for the next hop when the reply is a redirection to follow.
    std::optional<UrlRequest> redirectRequest(long status) const;
};

// Whether the method and every header can go on the wire as they are: a line break or NUL in
// them would let a value (a token read from a file, say) add headers of its own.
bool hasWireSafeHead(const UrlRequest& request);
UrlError unsafeHeadError();

// A readable sentence for a failed transfer.
UrlError transportError(CURLcode code);
UrlError cancelledError();
// A URL that is not absolute http or https with a host is never sent.
UrlError notWebURLError();
UrlError clearTextError();
UrlError tooManyRedirectsError();
UrlError responseTooLargeError();

}  // namespace platform::linux_impl
