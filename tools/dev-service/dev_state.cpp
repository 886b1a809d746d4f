#include "tools/dev-service/dev_state.h"

#include <algorithm>
#include <stdexcept>

namespace orvane_dev {
namespace {

nlohmann::json transcoderJson(const std::string& id, const std::string& name,
                              const std::string& type, bool local) {
    return {{"id", id}, {"name", name}, {"type", type}, {"settings", {{"local", local}}}};
}

bool isText(const nlohmann::json& object, const char* key) {
    return object.contains(key) && object[key].is_string();
}

}  // namespace

std::optional<std::string> storageProblem(const nlohmann::json& storage) {
    if (!storage.is_object()) return "A storage must be a JSON object.";
    if (!isText(storage, "name") || storage["name"].get<std::string>().empty()) {
        return "A storage needs a name.";
    }
    if (!isText(storage, "method")) return "A storage needs a method.";
    if (!storage.contains("settings") || !storage["settings"].is_object() ||
        !isText(storage["settings"], "mount_point")) {
        return "A storage needs settings with a mount_point.";
    }
    if (storage.contains("transcoders")) {
        const auto& list = storage["transcoders"];
        if (!list.is_array() ||
            !std::all_of(list.begin(), list.end(), [](auto& t) { return t.is_string(); })) {
            return "A storage's transcoders must be a list of transcoder ids.";
        }
    }
    return std::nullopt;
}

std::optional<std::string> transcoderProblem(const nlohmann::json& transcoder) {
    if (!transcoder.is_object() || !isText(transcoder, "id") || !isText(transcoder, "name") ||
        !isText(transcoder, "type") || !transcoder.contains("settings") ||
        !transcoder["settings"].is_object()) {
        return "A transcoder needs an id, a name, a type and settings.";
    }
    return std::nullopt;
}

nlohmann::json DevState::fileStorage(const std::string& id, const std::string& name,
                                     const std::string& mountPoint) {
    return {{"id", id},
            {"name", name},
            {"method", "FILE"},
            {"purpose", "FILES"},
            {"settings", {{"mount_point", mountPoint}, {"scan", true}}},
            {"transcoders", nlohmann::json::array()}};
}

DevState DevState::seeded() {
    DevState state;
    state.users = {{"user-power", "power@orvane.test", "POWER"},
                   {"user-standard", "standard@orvane.test", "STANDARD"},
                   {"user-browse", "browse@orvane.test", "BROWSE_ONLY"}};
    state.storages = {fileStorage("storage-media", "Media", "/srv/media"),
                      fileStorage("storage-archive", "Archive", "/srv/archive")};
    auto bucket = fileStorage("storage-bucket", "Bucket", "");
    bucket["method"] = "S3";
    state.storages.push_back(bucket);
    state.transcoders = {
        transcoderJson("transcoder-remote", "Remote FFMPEG", "FFMPEG", false),
        transcoderJson("transcoder-ffmpeg", "Local FFMPEG", "FFMPEG", true),
        transcoderJson("transcoder-imagemagick", "Local IMAGEMAGICK", "IMAGEMAGICK", true)};
    return state;
}

const DevUser* DevState::user(const std::string& id) const {
    auto it = std::find_if(users.begin(), users.end(), [&](auto& u) { return u.id == id; });
    return it == users.end() ? nullptr : &*it;
}

const DevUser* DevState::userOfType(const std::string& type) const {
    auto it = std::find_if(users.begin(), users.end(), [&](auto& u) { return u.type == type; });
    return it == users.end() ? nullptr : &*it;
}

nlohmann::json* DevState::storage(const std::string& id) {
    auto it =
        std::find_if(storages.begin(), storages.end(), [&](auto& s) { return s["id"] == id; });
    return it == storages.end() ? nullptr : &*it;
}

const nlohmann::json* DevState::transcoder(const std::string& id) const {
    auto it = std::find_if(transcoders.begin(), transcoders.end(),
                           [&](auto& t) { return t["id"] == id; });
    return it == transcoders.end() ? nullptr : &*it;
}

nlohmann::json DevState::createApplication(const std::string& name, const std::string& userId,
                                           const std::string& token) {
    const std::string id = makeId("app");
    applications[id] = {{"id", id}, {"name", name}, {"default_user_id", userId}, {"owner", userId}};
    tokens[token] = DevToken{id, userId, false};
    return {{"app_id", id}, {"token", token}};
}

nlohmann::json DevState::storagePage(const std::string& sort, const std::string& method,
                                     int perPage, int page) const {
    std::vector<nlohmann::json> matching;
    for (const auto& s : storages) {
        if (method.empty() || s["method"] == method) matching.push_back(s);
    }
    const bool descending = sort == "name,desc";
    if (sort.starts_with("name")) {
        std::stable_sort(matching.begin(), matching.end(), [&](auto& a, auto& b) {
            return descending ? a["name"].template get<std::string>() >
                                    b["name"].template get<std::string>()
                              : a["name"].template get<std::string>() <
                                    b["name"].template get<std::string>();
        });
    }
    perPage = std::clamp(perPage, 1, 100);
    page = std::max(page, 1);
    nlohmann::json objects = nlohmann::json::array();
    const std::size_t first =
        static_cast<std::size_t>(page - 1) * static_cast<std::size_t>(perPage);
    for (std::size_t i = first; i < matching.size() && i < first + perPage; ++i) {
        objects.push_back(matching[i]);
    }
    return {
        {"objects", objects}, {"total", matching.size()}, {"page", page}, {"per_page", perPage}};
}

nlohmann::json DevState::toJson() const {
    nlohmann::json json;
    json["users"] = nlohmann::json::array();
    for (const auto& u : users)
        json["users"].push_back({{"id", u.id}, {"email", u.email}, {"type", u.type}});
    json["applications"] = applications;
    json["tokens"] = nlohmann::json::object();
    for (const auto& [token, owner] : tokens) {
        json["tokens"][token] = {
            {"app_id", owner.appId}, {"user_id", owner.userId}, {"expired", owner.expired}};
    }
    json["storages"] = storages;
    json["transcoders"] = transcoders;
    json["next_id"] = nextId;
    return json;
}

DevState DevState::fromJson(const nlohmann::json& json) {
    DevState state;
    for (const auto& u : json.at("users"))
        state.users.push_back({u.at("id"), u.at("email"), u.at("type")});
    for (const auto& [id, app] : json.at("applications").items()) {
        if (!app.is_object() || !isText(app, "owner"))
            throw std::invalid_argument("application " + id);
        state.applications[id] = app;
    }
    for (const auto& [token, owner] : json.at("tokens").items()) {
        state.tokens[token] =
            DevToken{owner.at("app_id"), owner.at("user_id"), owner.at("expired")};
    }
    for (const auto& s : json.at("storages")) {
        if (auto problem = storageProblem(s); problem || !isText(s, "id")) {
            throw std::invalid_argument(problem.value_or("A storage needs an id."));
        }
        state.storages.push_back(s);
    }
    for (const auto& t : json.at("transcoders")) {
        if (auto problem = transcoderProblem(t)) throw std::invalid_argument(*problem);
        state.transcoders.push_back(t);
    }
    state.nextId = json.at("next_id");
    return state;
}

}  // namespace orvane_dev
