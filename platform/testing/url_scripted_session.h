#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/linux/curl_url.h"
#include "platform/testing/locked.h"
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

        static Reply http(int status, std::string body = {}) {
            return {std::move(body), UrlResponse{"", status, {}}, std::nullopt};
        }
        static Reply failure(UrlError error) { return {std::nullopt, std::nullopt, error}; }
    };
    explicit ScriptedUrlSession(std::shared_ptr<Queue> callbackQueue)
        : queue_(std::move(callbackQueue)) {}

    // Decides each reply; without one every request gets a 404 with an empty body.
    std::function<Reply(const UrlRequest&)> responder;
    // Runs when a request is sent (on the sending thread), for tests that read their clock.
    std::function<void(const UrlRequest&)> onSend;

    void dataTask(const UrlRequest& request, DataTaskCompletion completion) override {
        sent_.push(request);
        if (onSend) onSend(request);
        Reply reply = responder ? responder(request) : Reply::http(404);
        if (reply.response && reply.response->url.empty()) reply.response->url = request.url;
        queue_->asyncAfter(reply.latency, [completion = std::move(completion), reply] {
            completion(reply.data, reply.response, reply.error);
        });
    }
    bool isValidURL(const std::string& text) const override {
        return linux_impl::isValidURLText(text);
    }

    std::vector<UrlRequest> sent() const { return sent_.get(); }

private:
    std::shared_ptr<Queue> queue_;
    Locked<std::vector<UrlRequest>> sent_;
};

}  // namespace platform::testing
