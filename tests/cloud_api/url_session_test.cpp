#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/linux/curl_transfer.h"
#include "platform/linux/curl_url.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/worker_queue.h"
#include "tests/cloud_api/cloud_loopback.h"

namespace {

using orvane_dev::Override;
using platform::UrlError;

Override redirect(int status, const std::string& location) {
    Override moved = Override::reply(status, "");
    moved.location = location;
    return moved;
}

// A loopback peer that answers with whatever bytes a test likes, from the test's own thread:
// the session works on its worker meanwhile.
class RawPeer {
public:
    RawPeer() {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(fd_, 1);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/API/";
        const timeval wait{10, 0};  // a session that never connects fails the row, not the run
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~RawPeer() { ::close(fd_); }

    // Takes one connection, reads the request's head, sends `reply`, then body bytes until
    // `filler` are out or the session stops reading; returns how many of those went out.
    std::size_t answer(std::string_view reply, std::size_t filler) {
        const int fd = ::accept(fd_, nullptr, nullptr);
        std::string head;
        char c;
        while (!head.ends_with("\r\n\r\n") && ::read(fd, &c, 1) == 1) head += c;
        const std::string chunk(1 << 20, 'x');
        std::size_t sent = 0;
        ssize_t n = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        while (n > 0 && sent < filler &&
               (n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL)) > 0)
            sent += static_cast<std::size_t>(n);
        ::close(fd);
        return sent;
    }

    std::string url;

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
};

class UrlSessionTest : public CloudLoopbackTest {
protected:
    struct Result {
        bool done = false;
        std::optional<std::string> data;
        std::optional<platform::UrlResponse> response;
        std::optional<UrlError> error;
    };

    std::shared_ptr<Result> send(const platform::UrlRequest& request) {
        auto result = std::make_shared<Result>();
        session->dataTask(request, [result](auto data, auto response, auto error) {
            *result = {true, std::move(data), std::move(response), std::move(error)};
        });
        return result;
    }
    Result fetch(const platform::UrlRequest& request) {
        auto result = send(request);
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

// A 307 within the origin keeps method, body and token; a 303 turns into a GET without a body;
// crossing to another origin drops the caller's headers, the token among them.
TEST_F(UrlSessionTest, RedirectsKeepOnlyWhatTheyShouldExposeTheLastReplyAndEndWhenTheyLoop) {
    orvane_dev::DevService other;
    ASSERT_TRUE(other.start());
    service.setOverride("POST", "/API/a/", redirect(307, "/API/b/"));
    service.setOverride("POST", "/API/b/", redirect(303, other.baseURL() + "API/c/"));
    Override created = Override::reply(201, R"({"id":"x"})");
    created.contentType = "application/vnd.test+json";
    other.setOverride("GET", "/API/c/", created);

    auto request = get(service.baseURL() + "API/a/", "POST");
    request.body = R"({"a":1})";
    request.setValue("application/json;charset=UTF-8", "Content-Type");
    request.setValue("SECRET", "Auth-Token");
    auto result = fetch(request);
    ASSERT_FALSE(result.error) << result.error->localizedDescription;
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 201);
    EXPECT_EQ(result.response->value("content-type"), "application/vnd.test+json");
    EXPECT_EQ(result.response->url, other.baseURL() + "API/c/");
    EXPECT_EQ(result.data, R"({"id":"x"})");
    const auto here = service.journal();
    ASSERT_EQ(here.size(), 2u);
    EXPECT_EQ(here[1].method + " " + here[1].body, R"(POST {"a":1})");
    EXPECT_EQ(here[1].header("Auth-Token"), "SECRET");
    const auto there = other.journal();
    ASSERT_EQ(there.size(), 1u);
    EXPECT_EQ(there[0].method + " " + there[0].body, "GET ");
    EXPECT_FALSE(there[0].header("Content-Type"));
    EXPECT_FALSE(there[0].header("Auth-Token"));

    service.setOverride("GET", "/API/loop/", redirect(302, "/API/loop/"));
    result = fetch(get(service.baseURL() + "API/loop/"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, UrlError::Kind::tooManyRedirects);
    EXPECT_FALSE(result.response);
    closeSession();  // before `other` stops, so its keep-alive connection is gone
}

// Callers show only the sentence, so that is what is compared.
TEST_F(UrlSessionTest, TransportErrorsAreReadableSentencesWithNoData) {
    const std::string refused = service.baseURL();
    const std::string port = std::to_string(service.port());
    const char* kNotWeb =
        "The request was not sent because its address does not begin with "
        "http:// or https:// followed by a server name.";
    // A TLS peer whose certificate nobody trusts: it made it itself a moment ago.
    const std::string key = (platform.root.path() / "key.pem").string();
    const std::string cert = (platform.root.path() / "cert.pem").string();
    const auto made = platform::linux_impl::PosixProcessRunner().run(
        "/usr/bin/openssl",
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-subj",
         "/CN=127.0.0.1", "-days", "1"},
        std::chrono::seconds(30));
    ASSERT_EQ(made.status, 0) << made.output.substr(0, 500);
    httplib::SSLServer tls(cert.c_str(), key.c_str());
    std::atomic<bool> asked{false};
    tls.Get("/API/", [&](const httplib::Request&, httplib::Response&) { asked = true; });
    const int tlsPort = tls.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { tls.listen_after_bind(); });
    RawPeer raw;
    constexpr std::size_t kHuge = 100u << 20;
    struct Case {
        std::string url;
        const char* sentence;
        const char* token = nullptr;  // an Auth-Token header to send
        const char* reply = nullptr;  // what the raw peer answers, for the raw peer's URL
        std::size_t filler = 0;       // bytes of body the raw peer sends after its reply
    };
    const std::vector<Case> cases = {
        {"https://127.0.0.1:" + port + "/", "A secure connection to the server could not be made."},
        {"https://127.0.0.1:" + std::to_string(tlsPort) + "/API/",
         "The server's certificate is not trusted, so no secure connection was made."},
        {"https://no-such-host.invalid/",
         "A server with the specified hostname could not be found."},
        {"http://gateway.example.com/API/users/v1/users/current/",
         "The request was not sent because its address begins with http://, which would carry "
         "the sign-in and its credentials unencrypted to another computer. Use an address that "
         "begins with https:// instead.",
         "SECRET"},
        // Without a scheme the service would be reached in clear text, credentials included.
        {"127.0.0.1:" + port + "/API/users/v1/users/current/", kNotWeb},
        {"/API/users/v1/users/current/", kNotWeb},
        {"file:///etc/passwd", kNotWeb},
        // A line break would let the value add a header of its own.
        {refused + "API/users/v1/users/current/",
         "The request was not sent because its method or a header holds a line break.",
         "T\r\nX-Injected: 1"},
        {raw.url, "The network connection was lost.", nullptr,
         "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{"},
        {raw.url, "The server's reply was not a valid HTTP response.", nullptr, "SSH-2.0-peer\r\n"},
        {raw.url, "The server's reply was larger than 16 MB and was not read.", nullptr,
         "HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n", kHuge},
        // Last: the service is stopped for it, so nobody listens on its port.
        {refused, "Could not connect to the server."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.url + (c.reply ? c.reply : "")));
        if (c.url == refused) {
            closeSession();
            service.stop();
        }
        startSession({std::chrono::seconds(30)});
        auto request = get(c.url);
        if (c.token) request.setValue(c.token, "Auth-Token");
        auto result = send(request);
        // The session stops reading soon after its cap; socket buffers hold the rest.
        if (c.reply) {
            EXPECT_LT(raw.answer(c.reply, c.filler),
                      platform::linux_impl::kMaxResponseBodyBytes + (16u << 20));
        }
        EXPECT_TRUE(pump([&] { return result->done; }));
        EXPECT_EQ(result->error ? result->error->localizedDescription : "no error", c.sentence);
        EXPECT_FALSE(result->response);
        EXPECT_FALSE(result->data);
    }
    tls.stop();
    serving.join();
    EXPECT_TRUE(service.journal().empty()) << "nothing was sent";
    EXPECT_FALSE(asked) << "the request went out over the untrusted connection";
}

TEST(UrlValidity, FollowsTheUrlParser) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"/API/users/v1/users/current/", true},
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
    // Plain http stays for a service on this computer, as in development.
    const std::vector<std::pair<const char*, bool>> clear = {
        {"http://localhost:8080/", false},
        {"http://LocalHost/", false},
        {"http://127.9.9.9/", false},
        {"http://[::1]:80/", false},
        {"https://example.com/", false},
        {"http://example.com/", true},
        {"http://127.0.0.1.nip.io/", true},
        {"http://localhost.example.com/", true},
        {"http://[::2]/", true},
        {"http://10.0.0.1/", true},
    };
    for (const auto& [url, refused] : clear) {
        EXPECT_EQ(platform::linux_impl::isClearTextToAnotherComputer(url), refused) << url;
    }
}

// Many threads share one session and one callback queue of real threads; run under
// ThreadSanitizer this shows the session and the request core share nothing unsynchronised.
TEST_F(UrlSessionTest, ConcurrentRequestsThroughOneSessionEachCompleteOnce) {
    auto queue = std::make_shared<platform::linux_impl::WorkerQueue>("url-session", 2);
    startSession({}, queue);
    const auto credentials = powerCredentials();

    constexpr int kRequests = 60;  // each from a thread of its own
    std::atomic<int> completed{0};
    std::atomic<int> decoded{0};
    std::promise<void> all;
    std::vector<std::thread> threads;
    for (int t = 0; t < kRequests; ++t) {
        threads.emplace_back([&] {
            OrvaneRequests::doOrvaneJSONRequest<OrvaneUser>(
                "API/users/v1/users/current/", "GET", std::nullopt, credentials,
                [&](std::optional<OrvaneUser> user, std::string) {
                    if (user) ++decoded;
                    if (++completed == kRequests) all.set_value();
                });
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(all.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(decoded, kRequests);
    closeSession();
    queue.reset();
    EXPECT_EQ(completed, kRequests) << "each completion runs exactly once";
}

}  // namespace
