#include "platform/linux/curl_url_session.h"

#include <curl/curl.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/linux/curl_transfer.h"
#include "platform/linux/curl_url.h"

namespace platform::linux_impl {
namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// The multi handle and every transfer belong to the worker thread; other threads only hand in
// new transfers under the mutex and wake the worker up.
struct CurlUrlSession::Worker {
    std::shared_ptr<Queue> callbackQueue;
    Options options;
    CURLM* multi = nullptr;
    std::mutex mutex;
    std::deque<std::unique_ptr<CurlTransfer>> incoming;     // guarded by mutex
    bool stopping = false;                                  // guarded by mutex
    std::map<CURL*, std::unique_ptr<CurlTransfer>> active;  // worker thread only
    std::thread thread;

    Worker(std::shared_ptr<Queue> queue, Options opts)
        : callbackQueue(std::move(queue)), options(opts), multi(curl_multi_init()) {
        // A burst of requests queues for a few reused connections instead of opening one each,
        // as a browser does; servers give each open connection a worker.
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
        thread = std::thread([this] { run(); });
    }

    ~Worker() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        curl_multi_wakeup(multi);
        thread.join();
        curl_multi_cleanup(multi);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void submit(std::unique_ptr<CurlTransfer> transfer) {
        {
            std::lock_guard lock(mutex);
            if (!stopping) {
                incoming.push_back(std::move(transfer));
                transfer = nullptr;
            }
        }
        if (transfer) {
            complete(*transfer, std::nullopt, std::nullopt, cancelledError());
        } else {
            curl_multi_wakeup(multi);
        }
    }

    void complete(CurlTransfer& transfer, std::optional<std::string> data,
                  std::optional<UrlResponse> response, std::optional<UrlError> error) {
        auto completion = std::move(transfer.completion);
        callbackQueue->async([completion = std::move(completion), data = std::move(data),
                              response = std::move(response),
                              error = std::move(error)] { completion(data, response, error); });
    }

    void start(std::unique_ptr<CurlTransfer> transfer) {
        // Redirects come back here too. Without this, a URL with no scheme would go out as
        // plain http, credentials and all.
        if (!isWebURL(transfer->request.url)) {
            complete(*transfer, std::nullopt, std::nullopt, notWebURLError());
            return;
        }
        // Redirects included: an https service must not be able to downgrade us either.
        if (isClearTextToAnotherComputer(transfer->request.url)) {
            complete(*transfer, std::nullopt, std::nullopt, clearTextError());
            return;
        }
        if (!hasWireSafeHead(transfer->request)) {
            complete(*transfer, std::nullopt, std::nullopt, unsafeHeadError());
            return;
        }
        if (!transfer->configure(options.timeoutCap) ||
            curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
            complete(*transfer, std::nullopt, std::nullopt, transportError(CURLE_FAILED_INIT));
            return;
        }
        CURL* key = transfer->easy;
        active.emplace(key, std::move(transfer));
    }

    void finish(CURL* easy, CURLcode result) {
        auto node = active.extract(easy);
        if (node.empty()) return;
        auto transfer = std::move(node.mapped());
        curl_multi_remove_handle(multi, easy);
        if (result != CURLE_OK) {
            complete(*transfer, std::nullopt, std::nullopt,
                     transfer->bodyTooLarge ? responseTooLargeError() : transportError(result));
            return;
        }
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (auto next = transfer->redirectRequest(status)) {
            if (++transfer->redirects > options.maximumRedirects) {
                complete(*transfer, std::nullopt, std::nullopt, tooManyRedirectsError());
                return;
            }
            transfer->request = std::move(*next);
            start(std::move(transfer));
            return;
        }
        UrlResponse response;
        response.url = transfer->request.url;
        if (char* effective = nullptr;
            curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) {
            response.url = effective;
        }
        response.statusCode = static_cast<int>(status);
        response.headers = std::move(transfer->responseHeaders);
        complete(*transfer, std::move(transfer->data), std::move(response), std::nullopt);
    }

    void run() {
        for (;;) {
            std::deque<std::unique_ptr<CurlTransfer>> fresh;
            {
                std::lock_guard lock(mutex);
                if (stopping) break;
                fresh.swap(incoming);
            }
            for (auto& transfer : fresh) start(std::move(transfer));
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg == CURLMSG_DONE)
                    finish(message->easy_handle, message->data.result);
            }
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
        cancelEverything();
    }

    void cancelEverything() {
        for (auto& [easy, transfer] : active) {
            curl_multi_remove_handle(multi, easy);
            complete(*transfer, std::nullopt, std::nullopt, cancelledError());
        }
        active.clear();
        std::lock_guard lock(mutex);
        for (auto& transfer : incoming)
            complete(*transfer, std::nullopt, std::nullopt, cancelledError());
        incoming.clear();
    }
};

CurlUrlSession::CurlUrlSession(std::shared_ptr<Queue> callbackQueue)
    : CurlUrlSession(std::move(callbackQueue), Options{}) {}

CurlUrlSession::CurlUrlSession(std::shared_ptr<Queue> callbackQueue, Options options) {
    initialiseCurlOnce();
    worker_ = std::make_unique<Worker>(std::move(callbackQueue), options);
}

CurlUrlSession::~CurlUrlSession() = default;

void CurlUrlSession::dataTask(const UrlRequest& request, DataTaskCompletion completion) {
    worker_->submit(std::make_unique<CurlTransfer>(request, std::move(completion)));
}

bool CurlUrlSession::isValidURL(const std::string& text) const { return isValidURLText(text); }

}  // namespace platform::linux_impl
