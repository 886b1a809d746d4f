#pragma once

#include <memory>
#include <optional>

#include "platform/dispatch.h"
#include "platform/url_session.h"

namespace platform::linux_impl {

// A URL session on one worker thread that drives every transfer through one libcurl multi
// handle. Completions are posted to the callback queue. Redirects are followed here rather than
// by libcurl so that headers the caller set (the credentials among them) never travel to another
// origin. TLS certificates and host names are always verified.
class CurlUrlSession : public UrlSession {
public:
    struct Options {
        // Lowers every request's time-out; only tests set it, to see a time-out in real time.
        std::optional<Duration> timeoutCap;
        int maximumRedirects = 16;
    };

    explicit CurlUrlSession(std::shared_ptr<Queue> callbackQueue);
    CurlUrlSession(std::shared_ptr<Queue> callbackQueue, Options options);
    // Transfers still running complete with a "cancelled" error.
    ~CurlUrlSession() override;
    CurlUrlSession(const CurlUrlSession&) = delete;
    CurlUrlSession& operator=(const CurlUrlSession&) = delete;

    void dataTask(const UrlRequest& request, DataTaskCompletion completion) override;
    bool isValidURL(const std::string& text) const override;

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};

}  // namespace platform::linux_impl
