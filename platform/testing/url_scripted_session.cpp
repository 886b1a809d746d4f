#include "platform/testing/url_scripted_session.h"

#include "platform/linux/curl_url.h"

namespace platform::testing {

ScriptedUrlSession::Reply ScriptedUrlSession::Reply::http(int status, std::string body) {
    Reply reply;
    reply.data = std::move(body);
    reply.response = UrlResponse{"", status, {}};
    return reply;
}

ScriptedUrlSession::Reply ScriptedUrlSession::Reply::failure(UrlError error) {
    Reply reply;
    reply.error = std::move(error);
    return reply;
}

void ScriptedUrlSession::dataTask(const UrlRequest& request, DataTaskCompletion completion) {
    {
        std::lock_guard lock(mutex_);
        sent_.push_back(request);
    }
    if (onSend) onSend(request);
    Reply reply = responder ? responder(request) : Reply::http(404);
    if (reply.response && reply.response->url.empty()) reply.response->url = request.url;
    queue_->asyncAfter(reply.latency, [completion = std::move(completion), reply] {
        completion(reply.data, reply.response, reply.error);
    });
}

bool ScriptedUrlSession::isValidURL(const std::string& text) const {
    return linux_impl::isValidURLText(text);
}

std::vector<UrlRequest> ScriptedUrlSession::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

}  // namespace platform::testing
