#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/url_session.h"

namespace platform::testing {

// A URL session that answers from a script instead of the network. Each reply is posted to the
// callback queue after its latency, so on a VirtualDispatch a test decides when replies arrive.
class ScriptedUrlSession : public UrlSession {
public:
    struct Reply {
        std::optional<std::string> data;
        std::optional<UrlResponse> response;
        std::optional<UrlError> error;
        Duration latency{};

        static Reply http(int status, std::string body = {});
        static Reply failure(UrlError error);
    };
    explicit ScriptedUrlSession(std::shared_ptr<Queue> callbackQueue)
        : queue_(std::move(callbackQueue)) {}

    // Decides each reply; without one every request gets a 404 with an empty body.
    std::function<Reply(const UrlRequest&)> responder;
    // Runs when a request is sent (on the sending thread), for tests that read their clock.
    std::function<void(const UrlRequest&)> onSend;

    void dataTask(const UrlRequest& request, DataTaskCompletion completion) override;
    bool isValidURL(const std::string& text) const override;

    std::vector<UrlRequest> sent() const;

private:
    std::shared_ptr<Queue> queue_;
    mutable std::mutex mutex_;
    std::vector<UrlRequest> sent_;
};

}  // namespace platform::testing
