// Decoding cost of a full storage page, and what the request core adds to a loopback round trip
// compared with a bare libcurl request to the same server.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <condition_variable>
#include <mutex>

#include "cloud_api/orvane_requests.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/worker_queue.h"
#include "platform/testing/test_platform.h"
#include "tools/dev-service/dev_service.h"

namespace {

std::string storagePage(int count) {
    nlohmann::json objects = nlohmann::json::array();
    for (int i = 0; i < count; ++i) {
        objects.push_back({{"id", "storage-" + std::to_string(i)},
                           {"name", "Storage " + std::to_string(i)},
                           {"method", "FILE"},
                           {"settings",
                            {{"mount_point", "/srv/storage/" + std::to_string(i)},
                             {"scan_interval_seconds", 5},
                             {"read", true},
                             {"remote_path", ""}}}});
    }
    return nlohmann::json{{"objects", objects}}.dump();
}

void BM_DecodeStorageList100(benchmark::State& state) {
    const std::string body = storagePage(100);
    for (auto _ : state) {
        DecodingError error;
        auto decoded = decodeRecord<OrvaneStorageResponse>(body, error);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_DecodeStorageList100);

class NullLog : public platform::Log {
public:
    void write(std::string_view) override {}
};

// One development service and credentials shared by both round-trip benchmarks.
struct Loopback {
    orvane_dev::DevService service;
    OrvaneCredentials credentials;
    Loopback() {
        service.start();
        auto issued = service.issueCredentials("POWER");
        credentials = {issued["app_id"], issued["token"]};
    }
    static Loopback& shared() {
        static Loopback loopback;
        return loopback;
    }
};

void BM_OrvaneRequestsRoundTrip(benchmark::State& state) {
    auto& loopback = Loopback::shared();
    platform::testing::TestPlatform platform;
    platform.writeFile("/Library/Application Support/Velmora/OrvaneStorageGateway/config.ini",
                       "orvane-url = " + loopback.service.baseURL() + "\n");
    auto queue = std::make_shared<platform::linux_impl::WorkerQueue>("url-session", 1);
    platform.services.log = std::make_shared<NullLog>();
    platform.services.urlSession = std::make_shared<platform::linux_impl::CurlUrlSession>(queue);
    platform.reinstall();

    std::mutex mutex;
    std::condition_variable done;
    for (auto _ : state) {
        bool finished = false;
        OrvaneRequests::getCurrentUser(loopback.credentials,
                                       [&](std::optional<OrvaneUser> user, std::string) {
                                           if (!user) state.SkipWithError("request failed");
                                           std::lock_guard lock(mutex);
                                           finished = true;
                                           done.notify_one();
                                       });
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return finished; });
    }
    platform.services.urlSession.reset();
    platform.reinstall();
}
BENCHMARK(BM_OrvaneRequestsRoundTrip)->UseRealTime();

// The session alone, without the request core: separates the hops from the core's own work.
void BM_SessionRoundTrip(benchmark::State& state) {
    auto& loopback = Loopback::shared();
    auto queue = std::make_shared<platform::linux_impl::WorkerQueue>("url-session", 1);
    platform::linux_impl::CurlUrlSession session(queue);
    platform::UrlRequest request;
    request.url = loopback.service.baseURL() + "API/users/v1/users/current/";
    request.setValue(loopback.credentials.app_id, "App-ID");
    request.setValue(loopback.credentials.token, "Auth-Token");
    std::mutex mutex;
    std::condition_variable done;
    for (auto _ : state) {
        bool finished = false;
        session.dataTask(request, [&](auto, auto, auto) {
            std::lock_guard lock(mutex);
            finished = true;
            done.notify_one();
        });
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return finished; });
    }
}
BENCHMARK(BM_SessionRoundTrip)->UseRealTime();

void BM_QueueHop(benchmark::State& state) {
    platform::linux_impl::WorkerQueue queue("hop", 1);
    std::mutex mutex;
    std::condition_variable done;
    for (auto _ : state) {
        bool finished = false;
        queue.async([&] {
            std::lock_guard lock(mutex);
            finished = true;
            done.notify_one();
        });
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return finished; });
    }
}
BENCHMARK(BM_QueueHop)->UseRealTime();

std::size_t discard(char*, std::size_t size, std::size_t count, void* sink) {
    static_cast<std::string*>(sink)->append(size * count, '\0');
    return size * count;
}

void BM_BareCurlEasyRoundTrip(benchmark::State& state) {
    auto& loopback = Loopback::shared();
    const std::string url = loopback.service.baseURL() + "API/users/v1/users/current/";
    CURL* easy = curl_easy_init();
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, ("App-ID: " + loopback.credentials.app_id).c_str());
    headers = curl_slist_append(headers, ("Auth-Token: " + loopback.credentials.token).c_str());
    std::string body;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("request failed");
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
}
BENCHMARK(BM_BareCurlEasyRoundTrip)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
