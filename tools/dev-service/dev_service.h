#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/dev-service/dev_state.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace orvane_dev {

// One request as the service received it.
struct JournalEntry {
    std::string method;
    std::string path;    // without the query
    std::string target;  // as sent, with the query
    std::map<std::string, std::string> headers;
    std::string body;

    std::optional<std::string> header(const std::string& name) const;
};

// Makes a path answer something fixed, for tests of the client's failure handling.
struct Override {
    int status = 500;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0};
    // A Location header, for redirections.
    std::string location;

    static Override reply(int status, std::string body,
                          std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
        Override answer;
        answer.status = status;
        answer.body = std::move(body);
        answer.delay = delay;
        return answer;
    }
};

// A local development instance of the Orvane service: the API paths the client uses, the
// sign-in pages and the storage settings page. Runs on its own threads.
class DevService {
public:
    struct Options {
        std::string host = "127.0.0.1";
        int port = 0;  // 0 picks a free port
        std::optional<std::filesystem::path> statePath;
    };

    explicit DevService(Options options);
    DevService() : DevService(Options{}) {}
    ~DevService();
    DevService(const DevService&) = delete;
    DevService& operator=(const DevService&) = delete;

    // Binds and starts serving; false when the port cannot be bound or the state not read.
    bool start();
    void stop();
    int port() const { return port_; }
    // "http://host:port/", the value for "orvane-url".
    std::string baseURL() const;

    std::vector<JournalEntry> journal() const;
    void clearJournal();
    // Method "*" matches every method; the path is compared without its query.
    void setOverride(const std::string& method, const std::string& path, Override answer);
    void clearOverrides();

    // What a person does in the browser: authorizes the code as the first user of a role.
    bool authorize(const std::string& code, const std::string& installationId,
                   const std::string& userType);
    // Credentials ({app_id, token}) of a new application of the first user of a role.
    nlohmann::json issueCredentials(const std::string& userType);
    void expireToken(const std::string& token);
    void addStorage(nlohmann::json storage);
    void setTranscoders(std::vector<nlohmann::json> transcoders);
    // A copy of the state, for assertions.
    DevState state() const;

private:
    struct Reply {
        int status = 200;
        std::string body;
        std::string contentType = "application/json";
        std::vector<std::pair<std::string, std::string>> headers;
    };
    void handle(const httplib::Request& request, httplib::Response& response);
    Reply route(const httplib::Request& request);
    Reply routeApi(const httplib::Request& request, const DevUser& user);
    Reply routePages(const httplib::Request& request, bool& handled);
    std::optional<Override> overrideFor(const std::string& method, const std::string& path) const;
    std::string newToken();
    void saveLocked() const;

    Options options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::atomic<bool> listenReturned_{false};
    int port_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    DevState state_;
    std::vector<JournalEntry> journal_;
    std::map<std::pair<std::string, std::string>, Override> overrides_;
};

}  // namespace orvane_dev
