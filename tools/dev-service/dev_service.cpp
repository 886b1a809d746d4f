#include "tools/dev-service/dev_service.h"

#include <httplib.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <fstream>
#include <regex>

#include "platform/linux/kernel_random.h"
#include "tools/dev-service/dev_pages.h"

namespace orvane_dev {
namespace {

using nlohmann::json;

std::string errorsBody(const std::vector<std::string>& errors) {
    return json{{"errors", errors}}.dump();
}

bool isWriteMethod(const std::string& method) { return method != "GET" && method != "HEAD"; }

std::string cookieUser(const httplib::Request& request) {
    static const std::regex pattern("(?:^|;\\s*)orvane_dev_user=([^;]*)");
    std::smatch match;
    const std::string cookie = request.get_header_value("Cookie");
    return std::regex_search(cookie, match, pattern) ? match[1].str() : std::string();
}

std::string param(const httplib::Request& request, const char* name) {
    return request.has_param(name) ? request.get_param_value(name) : std::string();
}

}  // namespace

std::optional<std::string> JournalEntry::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (key.size() == name.size() &&
            std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return value;
        }
    }
    return std::nullopt;
}

DevService::DevService(Options options)
    : options_(std::move(options)),
      server_(std::make_unique<httplib::Server>()),
      state_(DevState::seeded()) {}

DevService::~DevService() { stop(); }

bool DevService::start() {
    if (options_.statePath && std::filesystem::exists(*options_.statePath)) {
        std::ifstream in(*options_.statePath);
        auto stored = json::parse(in, nullptr, false);
        if (stored.is_discarded()) return false;
        try {
            state_ = DevState::fromJson(stored);
        } catch (const std::exception&) {
            return false;  // not a state this service wrote: refuse it rather than serve garbage
        }
    }
    // Enough workers that idle keep-alive connections never starve new ones.
    server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
    server_->set_keep_alive_timeout(2);
    // Replies go out as headers and body in two writes; without this, delayed acknowledgements
    // hold every reply back for tens of milliseconds. Accepted sockets inherit the option.
    server_->set_socket_options([](int sock) {
        int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    });
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res);
    };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    server_->Put(".*", handler);
    server_->Patch(".*", handler);
    server_->Delete(".*", handler);
    port_ = options_.port
                ? (server_->bind_to_port(options_.host, options_.port) ? options_.port : -1)
                : server_->bind_to_any_port(options_.host);
    if (port_ <= 0) return false;
    listenReturned_ = false;
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listenReturned_ = true;
    });
    // A stop() that comes before the server loop has marked itself running would be ignored by
    // the server and leave its thread blocked in accept() forever.
    while (!server_->is_running() && !listenReturned_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return server_->is_running();
}

void DevService::stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string DevService::baseURL() const {
    return "http://" + options_.host + ":" + std::to_string(port_) + "/";
}

std::vector<JournalEntry> DevService::journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

void DevService::clearJournal() {
    std::lock_guard lock(mutex_);
    journal_.clear();
}

void DevService::setOverride(const std::string& method, const std::string& path, Override answer) {
    std::lock_guard lock(mutex_);
    overrides_[{method, path}] = std::move(answer);
}

void DevService::clearOverrides() {
    std::lock_guard lock(mutex_);
    overrides_.clear();
}

std::optional<Override> DevService::overrideFor(const std::string& method,
                                                const std::string& path) const {
    for (const auto& key : {std::pair{method, path}, std::pair{std::string("*"), path}}) {
        if (auto it = overrides_.find(key); it != overrides_.end()) return it->second;
    }
    return std::nullopt;
}

std::string DevService::newToken() {
    static constexpr char kHex[] = "0123456789abcdef";
    platform::linux_impl::KernelRandom random;
    std::string token;
    for (int i = 0; i < 40; ++i) token += kHex[random.uniform(16)];
    return token;
}

bool DevService::authorize(const std::string& code, const std::string& installationId,
                           const std::string& userType) {
    std::lock_guard lock(mutex_);
    const auto* user = state_.userOfType(userType);
    if (!user) return false;
    const std::string userId = user->id;
    auto credentials =
        state_.createApplication("Storage gateway " + installationId, userId, newToken());
    state_.signIns[code] = DevSignIn{installationId, credentials};
    saveLocked();
    return true;
}

json DevService::issueCredentials(const std::string& userType) {
    std::lock_guard lock(mutex_);
    const auto* user = state_.userOfType(userType);
    if (!user) return nullptr;
    const std::string userId = user->id;
    auto credentials = state_.createApplication("Test application", userId, newToken());
    saveLocked();
    return credentials;
}

void DevService::expireToken(const std::string& token) {
    std::lock_guard lock(mutex_);
    if (auto it = state_.tokens.find(token); it != state_.tokens.end()) it->second.expired = true;
    saveLocked();
}

void DevService::addStorage(json storage) {
    std::lock_guard lock(mutex_);
    state_.storages.push_back(std::move(storage));
    saveLocked();
}

void DevService::setTranscoders(std::vector<json> transcoders) {
    std::lock_guard lock(mutex_);
    state_.transcoders = std::move(transcoders);
    saveLocked();
}

DevState DevService::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void DevService::saveLocked() const {
    if (!options_.statePath) return;
    const auto temporary = options_.statePath->string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << state_.toJson().dump(2);
        if (!out) return;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, *options_.statePath, ec);
}

void DevService::handle(const httplib::Request& request, httplib::Response& response) {
    std::optional<Override> answer;
    {
        std::unique_lock lock(mutex_);
        JournalEntry entry{request.method, request.path, request.target, {}, request.body};
        for (const auto& [name, value] : request.headers) entry.headers[name] = value;
        journal_.push_back(std::move(entry));
        answer = overrideFor(request.method, request.path);
        if (answer && answer->delay.count() > 0) {
            stopping_.wait_for(lock, answer->delay, [this] { return stopped_; });
        }
    }
    Reply reply;
    if (answer) {
        reply = Reply{answer->status, answer->body, answer->contentType, {}};
        if (!answer->location.empty()) reply.headers.emplace_back("Location", answer->location);
    } else {
        reply = route(request);
    }
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) response.set_header(name, value);
    if (!reply.body.empty()) response.set_content(reply.body, reply.contentType);
}

DevService::Reply DevService::route(const httplib::Request& request) {
    bool handled = false;
    Reply page = routePages(request, handled);
    if (handled) return page;
    if (!request.path.starts_with("/API/")) {
        return {404, errorsBody({"Not found."}), "application/json", {}};
    }
    std::lock_guard lock(mutex_);
    const auto appId = request.get_header_value("App-ID");
    const auto token = request.get_header_value("Auth-Token");
    if (appId.empty() || token.empty()) {
        return {401,
                errorsBody({"Authentication credentials were not provided."}),
                "application/json",
                {}};
    }
    auto owner = state_.tokens.find(token);
    if (owner == state_.tokens.end() || owner->second.appId != appId) {
        return {401, errorsBody({"Invalid App-ID or Auth-Token."}), "application/json", {}};
    }
    if (owner->second.expired) {
        return {401, errorsBody({"The token has expired."}), "application/json", {}};
    }
    const auto* user = state_.user(owner->second.userId);
    if (!user) return {401, errorsBody({"Unknown user."}), "application/json", {}};
    return routeApi(request, *user);
}

DevService::Reply DevService::routePages(const httplib::Request& request, bool& handled) {
    static const std::regex poll("^/+API/auth/v1/apps/external/auth/([^/]+)/$");
    static const std::regex authenticate("^/authenticate/([^/]+)/([^/]+)/$");
    static const std::regex settings("^/admin/storages/([^/]+)/settings$");
    std::smatch match;
    handled = true;
    std::lock_guard lock(mutex_);
    if (request.path == "/login" && request.method == "GET") {
        return {200, pages::login(param(request, "next"), state_.users), "text/html", {}};
    }
    if (request.path == "/login" && request.method == "POST") {
        const std::string userId = param(request, "user");
        std::string next = param(request, "next");
        if (!state_.user(userId))
            return {400, pages::message("Sign-in failed", "Unknown user."), "text/html", {}};
        // Only paths of this service, never another site.
        if (!next.starts_with("/") || next.starts_with("//")) next = "/";
        return {303,
                "",
                "text/html",
                {{"Location", next}, {"Set-Cookie", "orvane_dev_user=" + userId + "; Path=/"}}};
    }
    if (std::regex_match(request.path, match, authenticate)) {
        const std::string code = match[1], installationId = match[2];
        if (request.method == "GET") {
            return {200,
                    pages::authenticate(request.path, state_.users, cookieUser(request)),
                    "text/html",
                    {}};
        }
        const auto* user = state_.user(param(request, "user"));
        if (!user) return {400, pages::message("Sign-in failed", "Unknown user."), "text/html", {}};
        const DevUser chosen = *user;
        auto credentials =
            state_.createApplication("Storage gateway " + installationId, chosen.id, newToken());
        state_.signIns[code] = DevSignIn{installationId, credentials};
        saveLocked();
        return {200, pages::authorized(chosen), "text/html", {}};
    }
    if (std::regex_match(request.path, match, poll) && request.method == "GET") {
        auto signIn = state_.signIns.find(match[1]);
        if (signIn == state_.signIns.end() || !signIn->second.credentials) {
            return {
                404, errorsBody({"The sign-in has not been completed."}), "application/json", {}};
        }
        // Credentials are handed out once.
        const std::string body = signIn->second.credentials->dump();
        state_.signIns.erase(signIn);
        return {200, body, "application/json", {}};
    }
    if (std::regex_match(request.path, match, settings) && request.method == "GET") {
        if (const auto* storage = state_.storage(match[1])) {
            return {200, pages::storageSettings(*storage), "text/html", {}};
        }
        return {404, pages::message("Not found", "No such storage."), "text/html", {}};
    }
    handled = false;
    return {};
}

DevService::Reply DevService::routeApi(const httplib::Request& request, const DevUser& user) {
    static const std::regex storageItem("^/API/files/v1/storages/([^/]+)/$");
    static const std::regex storageTranscoder(
        "^/API/files/v1/storages/([^/]+)/transcoders/([^/]+)/$");
    static const std::regex appItem("^/API/auth/v1/apps/([^/]+)/$");
    static const std::regex appToken("^/API/auth/v1/apps/([^/]+)/token/$");
    const auto ok = [](int status, const json& body) {
        return Reply{status, body.dump(), "application/json", {}};
    };
    const auto fail = [](int status, const std::string& text) {
        return Reply{status, errorsBody({text}), "application/json", {}};
    };
    const std::string& path = request.path;
    const std::string& method = request.method;
    std::smatch match;

    if (isWriteMethod(method) && user.type != "POWER" && path.starts_with("/API/files/")) {
        return fail(403, "Only POWER users may change storages.");
    }
    json body;
    if (!request.body.empty()) {
        body = json::parse(request.body, nullptr, false);
        if (body.is_discarded() || !body.is_object())
            return fail(400, "The body is not a JSON object.");
    }

    if (path == "/API/users/v1/users/current/" && method == "GET") {
        return ok(200, {{"id", user.id}, {"email", user.email}, {"type", user.type}});
    }
    if (path == "/API/files/v1/storages/" && method == "GET") {
        const auto number = [&](const char* name, int fallback) {
            try {
                return request.has_param(name) ? std::stoi(param(request, name)) : fallback;
            } catch (const std::exception&) {
                return fallback;
            }
        };
        return ok(200, state_.storagePage(param(request, "sort"), param(request, "method"),
                                          number("per_page", 10), number("page", 1)));
    }
    if (path == "/API/files/v1/storages/" && method == "POST") {
        json storage = body;
        storage.erase("transcoders");
        if (auto problem = storageProblem(storage)) return fail(400, *problem);
        storage["id"] = state_.makeId("storage");
        storage["transcoders"] = json::array();
        state_.storages.push_back(storage);
        saveLocked();
        return ok(201, storage);
    }
    if (std::regex_match(path, match, storageTranscoder) && method == "PUT") {
        auto* storage = state_.storage(match[1]);
        if (!storage || !state_.transcoder(match[2]))
            return fail(404, "No such storage or transcoder.");
        auto& list = (*storage)["transcoders"];
        if (std::find(list.begin(), list.end(), match[2].str()) == list.end())
            list.push_back(match[2].str());
        saveLocked();
        return {204, "", "application/json", {}};
    }
    if (std::regex_match(path, match, storageItem)) {
        const std::string id = match[1];
        auto* storage = state_.storage(id);
        if (!storage) return fail(404, "No such storage.");
        if (method == "GET") return ok(200, *storage);
        if (method == "PATCH") {
            // Checked as a whole before it replaces the stored one, so a bad field changes nothing.
            json changed = *storage;
            if (body.contains("name")) changed["name"] = body["name"];
            if (body.contains("settings")) {
                if (!body["settings"].is_object())
                    return fail(400, "A storage's settings must be a JSON object.");
                changed["settings"].update(body["settings"]);
            }
            if (auto problem = storageProblem(changed)) return fail(400, *problem);
            *storage = std::move(changed);
            saveLocked();
            return ok(200, *storage);
        }
        if (method == "DELETE") {
            std::erase_if(state_.storages, [&](auto& s) { return s["id"] == id; });
            saveLocked();
            return {204, "", "application/json", {}};
        }
    }
    if (path == "/API/files/v1/transcoders/" && method == "GET") {
        return ok(200, {{"objects", state_.transcoders}});
    }
    if (path == "/API/auth/v1/apps/" && method == "POST") {
        if (!body.contains("name") || !body["name"].is_string())
            return fail(400, "An application needs a name.");
        const std::string defaultUser = body.value("default_user_id", std::string());
        if (!state_.user(defaultUser)) return fail(400, "Unknown default_user_id.");
        const std::string id = state_.makeId("app");
        state_.applications[id] = {{"id", id},
                                   {"name", body["name"]},
                                   {"default_user_id", defaultUser},
                                   {"owner", user.id}};
        saveLocked();
        return ok(201, state_.applications[id]);
    }
    if (std::regex_match(path, match, appToken) && method == "POST") {
        auto app = state_.applications.find(match[1]);
        if (app == state_.applications.end() || app->second["owner"] != user.id)
            return fail(404, "No such application.");
        const std::string token = newToken();
        state_.tokens[token] = DevToken{app->first, user.id, false};
        saveLocked();
        return ok(201, {{"app_id", app->first}, {"token", token}});
    }
    if (std::regex_match(path, match, appItem) && method == "GET") {
        auto app = state_.applications.find(match[1]);
        if (app == state_.applications.end() || app->second["owner"] != user.id)
            return fail(404, "No such application.");
        return ok(200, app->second);
    }
    return fail(404, "Not found.");
}

}  // namespace orvane_dev
