#include <algorithm>

#include "cloud_api/orvane_paths.h"
#include "cloud_api/orvane_requests.h"
#include "platform/random_source.h"
#include "platform/registry.h"
#include "platform/workspace.h"

namespace {

constexpr std::string_view kInstanceIdKey = "app_instance_id";
constexpr std::string_view kCodeAlphabet = "0123456789ABCDEF";
constexpr std::size_t kCodeLength = 64;

}  // namespace

std::string OrvaneRequests::appInstanceId() {
    const std::string key(kInstanceIdKey);
    if (auto stored = platform::defaults().stringForKey(key)) return *stored;
    std::string id = platform::random().uuidString();
    platform::defaults().setValue(key, id);
    return id;
}

std::string OrvaneRequests::makeAuthCode() {
    std::string code;
    code.reserve(kCodeLength);
    for (std::size_t i = 0; i < kCodeLength; ++i) {
        code += kCodeAlphabet[platform::random().uniform(kCodeAlphabet.size())];
    }
    return code;
}

std::optional<OrvaneRequests::SignInStart> OrvaneRequests::startLogin(bool forceLogin) {
    const std::string installationId = appInstanceId();
    const std::string code = makeAuthCode();
    auto base = configuredBaseURL();
    if (!base) return std::nullopt;
    const std::string page = *base + orvane_paths::signInPage(forceLogin, code, installationId);
    if (!platform::urlSession().isValidURL(page)) return std::nullopt;
    const bool opened = platform::workspace().openURL(page);
    return SignInStart{page, *base + orvane_paths::poll(code), opened};
}

double OrvaneRequests::pollSecondsLeft(int retryCount) {
    return (lastPollRetry - std::clamp(retryCount, 0, lastPollRetry)) * pollPause;
}

void OrvaneRequests::getOrvaneCredentialsOrRetry(
    const std::string& url, int retryCount, std::shared_ptr<OrvaneRequestCancellation> cancellation,
    CredentialsCompletion completion, PollProgress progress) {
    // However the caller counts, the loop never sends more than the designed 41 polls.
    retryCount = std::clamp(retryCount, 0, lastPollRetry);
    platform::dispatch().global().asyncAfter(
        platform::seconds(firstPollDelay),
        [url, retryCount, cancellation = std::move(cancellation),
         completion = std::move(completion), progress = std::move(progress)]() mutable {
            attemptCredentials(url, retryCount, std::move(cancellation), std::move(completion),
                               std::move(progress));
        });
}

void OrvaneRequests::attemptCredentials(const std::string& url, int retryCount,
                                        std::shared_ptr<OrvaneRequestCancellation> cancellation,
                                        CredentialsCompletion completion, PollProgress progress) {
    if (cancellation && cancellation->isCancelled()) {
        platform::log("getOrvaneCredentialsOrRetry was cancelled");
        return;
    }
    if (progress) progress(pollSecondsLeft(retryCount));
    auto onCredentials = [url, retryCount, cancellation = std::move(cancellation),
                          completion = std::move(completion), progress = std::move(progress)](
                             std::optional<OrvaneCredentials> credentials, const std::string&) {
        if (credentials) {
            completion(std::move(credentials));
        } else if (retryCount < lastPollRetry) {
            platform::dispatch().global().asyncAfter(
                platform::seconds(pollPause),
                [url, retryCount, cancellation, completion, progress] {
                    attemptCredentials(url, retryCount + 1, cancellation, completion, progress);
                });
        } else {
            completion(std::nullopt);
        }
    };
    auto request = makeRequest(url, "GET");
    if (!request) {
        // A poll URL that cannot be sent counts as a failed poll, like any other.
        onCredentials(std::nullopt, "");
        return;
    }
    sendRequest(
        *request, std::string("<auth>"), std::nullopt,
        [onCredentials](const std::optional<std::string>& data, const std::string& message) {
            decodeResponse<OrvaneCredentials>(data, message, onCredentials);
        });
}
