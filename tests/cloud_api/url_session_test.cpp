#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/linux/curl_url.h"
#include "platform/linux/worker_queue.h"
#include "tests/cloud_api/cloud_loopback.h"

namespace {

using orvane_dev::Override;
using platform::UrlError;

// A peer on a loopback port that answers every connection with one line that is not HTTP.
struct LineServer {
    explicit LineServer(std::string line) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd, 4);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread = std::thread([this, line] {
            for (int client; (client = ::accept(fd, nullptr, nullptr)) >= 0; ::close(client)) {
                [[maybe_unused]] auto n = ::write(client, line.data(), line.size());
            }
        });
    }
    ~LineServer() {
        ::shutdown(fd, SHUT_RDWR);
        thread.join();
        ::close(fd);
    }
    int fd;
    int port = 0;
    std::thread thread;
};

class UrlSessionTest : public CloudLoopbackTest {
protected:
    struct Result {
        bool done = false;
        std::optional<std::string> data;
        std::optional<platform::UrlResponse> response;
        std::optional<UrlError> error;
    };

    Result fetch(const platform::UrlRequest& request) {
        auto result = std::make_shared<Result>();
        session->dataTask(request, [result](auto data, auto response, auto error) {
            *result = {true, std::move(data), std::move(response), std::move(error)};
        });
        EXPECT_TRUE(pump([&] { return result->done; }));
        return *result;
    }

    static platform::UrlRequest get(const std::string& url, const std::string& method = "GET") {
        platform::UrlRequest request;
        request.url = url;
        request.method = method;
        return request;
    }
};

TEST_F(UrlSessionTest, ExposesStatusHeadersAndBody) {
    Override created = Override::reply(201, R"({"id":"x"})");
    created.contentType = "application/vnd.test+json";
    service.setOverride("GET", "/API/made/", created);
    auto result = fetch(get(service.baseURL() + "API/made/"));
    ASSERT_FALSE(result.error);
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 201);
    EXPECT_EQ(result.response->value("content-type"), "application/vnd.test+json");
    EXPECT_EQ(result.response->url, service.baseURL() + "API/made/");
    EXPECT_EQ(result.data, R"({"id":"x"})");
}

TEST_F(UrlSessionTest, ARedirectToAnotherOriginDropsTheCallersHeaders) {
    orvane_dev::DevService other;
    ASSERT_TRUE(other.start());
    Override moved = Override::reply(307, "");
    moved.location = other.baseURL() + "API/elsewhere/";
    service.setOverride("POST", "/API/moved/", moved);
    other.setOverride("POST", "/API/elsewhere/", Override::reply(200, "{}"));

    auto request = get(service.baseURL() + "API/moved/", "POST");
    request.body = R"({"a":1})";
    request.setValue("application/json;charset=UTF-8", "Content-Type");
    request.setValue("SECRET", "Auth-Token");
    auto result = fetch(request);
    ASSERT_FALSE(result.error) << result.error->localizedDescription;
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(result.response->url, other.baseURL() + "API/elsewhere/");
    const auto journal = other.journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].method, "POST");  // 307 keeps method and body
    EXPECT_EQ(journal[0].body, R"({"a":1})");
    EXPECT_FALSE(journal[0].header("Auth-Token"));
    closeSession();  // before `other` stops, so its keep-alive connection is gone
}

TEST_F(UrlSessionTest, RedirectsWithinTheOriginKeepCredentialsSeeOtherDropsTheBodyAndLoopsEnd) {
    Override seeOther = Override::reply(303, "");
    seeOther.location = "/API/users/v1/users/current/";
    service.setOverride("POST", "/API/created/", seeOther);
    auto request = get(service.baseURL() + "API/created/", "POST");
    request.body = "{}";
    request.setValue("application/json;charset=UTF-8", "Content-Type");
    request.setValue("SECRET", "Auth-Token");
    fetch(request);
    const auto journal = service.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[1].path, "/API/users/v1/users/current/");
    EXPECT_EQ(journal[1].header("Auth-Token"), "SECRET");
    EXPECT_EQ(journal[1].method, "GET");
    EXPECT_EQ(journal[1].body, "");
    EXPECT_FALSE(journal[1].header("Content-Type"));

    // Endless redirects end in an error.
    Override loop = Override::reply(302, "");
    loop.location = "/API/loop/";
    service.setOverride("GET", "/API/loop/", loop);
    auto result = fetch(get(service.baseURL() + "API/loop/"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, UrlError::Kind::tooManyRedirects);
    EXPECT_FALSE(result.response);
}

TEST_F(UrlSessionTest, TransportErrorsAreReadableSentences) {
    using Kind = UrlError::Kind;
    struct Case {
        std::string url;
        Kind kind;
        const char* sentence;
    };
    const std::string refused = service.baseURL();
    const char* kNotWeb = "The request was not sent because its address does not begin with "
                          "http:// or https:// followed by a server name.";
    LineServer notHttp("SSH-2.0-peer\r\n");
    const std::vector<Case> cases = {
        {"https://127.0.0.1:" + std::to_string(service.port()) + "/", Kind::secureConnectionFailed,
         "A secure connection to the server could not be made."},
        {"http://no-such-host.invalid/", Kind::cannotFindHost,
         "A server with the specified hostname could not be found."},
        // Without a scheme the service would be reached in clear text, credentials included.
        {"127.0.0.1:" + std::to_string(service.port()) + "/API/users/v1/users/current/",
         Kind::unsupportedURL, kNotWeb},
        {"/API/users/v1/users/current/", Kind::unsupportedURL, kNotWeb},
        {"ftp://127.0.0.1/file", Kind::unsupportedURL, kNotWeb},
        {"file:///etc/passwd", Kind::unsupportedURL, kNotWeb},
        {"http://127.0.0.1:" + std::to_string(notHttp.port) + "/", Kind::other,
         "The server's reply was not a valid HTTP response."},
        // Last: the service is stopped for it, so nobody listens on its port.
        {refused, Kind::cannotConnectToHost, "Could not connect to the server."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        if (c.url == refused) {
            closeSession();
            service.stop();
        }
        startSession({std::chrono::seconds(5)});
        auto result = fetch(get(c.url));
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->kind, c.kind);
        EXPECT_EQ(result.error->localizedDescription, c.sentence);
        EXPECT_FALSE(result.response);
        EXPECT_FALSE(result.data);
    }
    EXPECT_TRUE(service.journal().empty()) << "nothing was sent";
}

TEST(UrlValidity, FollowsTheUrlParser) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"https://orvane.test/API/x/?a=b,c&d=1", true},
        {"http://127.0.0.1:8080/", true},
        {"/API/users/v1/users/current/", true},
        {"https://h//API/auth/", true},
        {"", false},
        {"https://h/my storage/", false},
        {"https://h/%zz/", false},
        {"https://h/caf\xc3\xa9/", false},
        {"https://h/a\r\nb", false},
        {"https://h/{id}/", false},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(platform::linux_impl::isValidURLText(text), valid) << text;
    }
}

TEST_F(UrlSessionTest, ALineBreakInACredentialSendsNothing) {
    auto outcome = request<OrvaneUser>("API/users/v1/users/current/", "GET", std::nullopt,
                                       OrvaneCredentials{"A", "T\r\nX-Injected: 1"});
    EXPECT_FALSE(outcome.record);
    EXPECT_EQ(outcome.message,
              "The request was not sent because its method or a header holds a line break.");
    EXPECT_TRUE(service.journal().empty());
    for (const auto& line : platform.log->lines()) {
        EXPECT_EQ(line.find("X-Injected"), std::string::npos) << line;
    }
}

// Many threads share one session and one callback queue of real threads; run under
// ThreadSanitizer this shows the session and the request core share nothing unsynchronised.
TEST_F(UrlSessionTest, ConcurrentRequestsThroughOneSessionEachCompleteOnce) {
    auto queue = std::make_shared<platform::linux_impl::WorkerQueue>("url-session", 2);
    closeSession();
    session = std::make_shared<platform::linux_impl::CurlUrlSession>(queue);
    platform.services.urlSession = session;
    platform.reinstall();
    const auto credentials = powerCredentials();

    constexpr int kThreads = 4;
    constexpr int kEach = 15;
    std::atomic<int> completed{0};
    std::atomic<int> decoded{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) {
                OrvaneRequests::doOrvaneJSONRequest<OrvaneUser>(
                    "API/users/v1/users/current/", "GET", std::nullopt, credentials,
                    [&](std::optional<OrvaneUser> user, std::string) {
                        if (user) ++decoded;
                        ++completed;
                    });
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (completed < kThreads * kEach && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(completed, kThreads * kEach);
    EXPECT_EQ(decoded, kThreads * kEach);
    EXPECT_EQ(service.journal().size(), static_cast<std::size_t>(kThreads * kEach));
    closeSession();
    queue.reset();
    EXPECT_EQ(completed, kThreads * kEach) << "no completion runs twice";
}

}  // namespace
