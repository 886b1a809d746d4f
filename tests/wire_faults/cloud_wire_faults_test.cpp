// The cloud session against peers that misbehave on a real loopback connection: a reply cut off
// mid-body, one that is not HTTP, one far larger than any record, and a TLS peer with a
// self-signed certificate.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/linux/curl_transfer.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/testing/test_platform.h"

namespace {

using platform::UrlError;
using namespace std::chrono_literals;

// Accepts one connection on a loopback port and hands it, request read, to `reply`.
class OneShotServer {
public:
    explicit OneShotServer(std::function<void(int fd)> reply) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(listenFd_, 1), 0);
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, reply = std::move(reply)] {
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0) return;
            std::string head;
            char c;
            while (!head.ends_with("\r\n\r\n") && ::read(fd, &c, 1) == 1) head += c;
            reply(fd);
            ::close(fd);
        });
    }
    ~OneShotServer() {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/API/"; }

private:
    int listenFd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

class CloudWireFaultsTest : public ::testing::Test {
protected:
    // Fetches a URL that must fail; a failed transfer hands over no data.
    std::optional<UrlError> fetchError(const std::string& url) {
        struct Result {
            bool done = false;
            bool data = false;
            std::optional<UrlError> error;
        };
        auto result = std::make_shared<Result>();
        platform::UrlRequest request;
        request.url = url;
        session->dataTask(request, [result](auto data, auto, auto error) {
            *result = {true, data.has_value(), std::move(error)};
        });
        EXPECT_TRUE(platform.dispatch->pumpUntil([&] { return result->done; }, 60s));
        EXPECT_FALSE(result->data) << "data came with the error";
        return result->error;
    }

    platform::testing::TestPlatform platform;
    std::shared_ptr<platform::linux_impl::CurlUrlSession> session =
        std::make_shared<platform::linux_impl::CurlUrlSession>(
            platform.dispatch->makeSerialQueue("url"));
};

// Callers show only the sentence, so that is what is compared.
TEST_F(CloudWireFaultsTest, ABrokenReplyIsAnErrorInASentenceWithNoData) {
    const std::pair<const char*, const char*> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{", "The network connection was lost."},
        {"SSH-2.0-peer\r\n", "The server's reply was not a valid HTTP response."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        OneShotServer server([&](int fd) { sendAll(fd, c.first); });
        const auto error = fetchError(server.url());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->localizedDescription, c.second);
    }
}

TEST_F(CloudWireFaultsTest, AHundredMegabyteBodyIsCutOffAtTheCap) {
    constexpr std::size_t kBody = 100u << 20;
    std::atomic<std::size_t> sent{0};
    {
        OneShotServer server([&](int fd) {
            sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kBody) + "\r\n\r\n");
            const std::string chunk(1 << 20, 'x');
            while (sent < kBody && sendAll(fd, chunk)) sent += chunk.size();
        });
        const auto error = fetchError(server.url());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->localizedDescription,
                  "The server's reply was larger than 16 MB and was not read.");
    }
    // The session stopped reading soon after the cap; socket buffers hold the rest.
    EXPECT_LT(sent.load(), platform::linux_impl::kMaxResponseBodyBytes + (16u << 20));
}

TEST_F(CloudWireFaultsTest, ASelfSignedPeerIsRefusedWithASentenceThatSaysSo) {
    const std::string key = (platform.root.path() / "key.pem").string();
    const std::string cert = (platform.root.path() / "cert.pem").string();
    const auto made = platform::linux_impl::PosixProcessRunner().run(
        "/usr/bin/openssl",
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-subj",
         "/CN=127.0.0.1", "-days", "1"},
        30s);
    ASSERT_EQ(made.status, 0) << made.output.substr(0, 500);
    httplib::SSLServer peer(cert.c_str(), key.c_str());
    ASSERT_TRUE(peer.is_valid());
    bool asked = false;
    peer.Get("/API/", [&](const httplib::Request&, httplib::Response& reply) {
        asked = true;
        reply.set_content("{}", "application/json");
    });
    const int port = peer.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { peer.listen_after_bind(); });

    const auto error = fetchError("https://127.0.0.1:" + std::to_string(port) + "/API/");
    peer.stop();
    serving.join();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription,
              "The server's certificate is not trusted, so no secure connection was made.");
    EXPECT_FALSE(asked) << "the request went out over the untrusted connection";
}

}  // namespace
