#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane_dev {

struct DevUser {
    std::string id;
    std::string email;
    std::string type;  // POWER, STANDARD or BROWSE_ONLY
};

struct DevToken {
    std::string appId;
    std::string userId;
    bool expired = false;
};

struct DevSignIn {
    std::string installationId;
    // Set once a person has authorized the code in the browser.
    std::optional<nlohmann::json> credentials;
};

// Everything the development service knows. Not synchronised: DevService holds it under its lock.
struct DevState {
    std::vector<DevUser> users;
    std::map<std::string, nlohmann::json> applications;  // id -> {id, name, default_user_id, owner}
    std::map<std::string, DevToken> tokens;              // token -> owner
    std::vector<nlohmann::json> storages;                // in creation order
    std::vector<nlohmann::json> transcoders;
    std::map<std::string, DevSignIn> signIns;  // code -> sign-in
    int nextId = 1;

    // Three users, one of each role; FILE storages and one of another method; a local FFMPEG, a
    // local IMAGEMAGICK and a remote FFMPEG transcoder.
    static DevState seeded();
    // A FILE storage without transcoders; an empty mount point is a storage without one.
    static nlohmann::json fileStorage(const std::string& id, const std::string& name,
                                      const std::string& mountPoint);

    std::string makeId(const std::string& prefix) {
        return prefix + "-" + std::to_string(nextId++);
    }
    const DevUser* user(const std::string& id) const;
    const DevUser* userOfType(const std::string& type) const;
    nlohmann::json* storage(const std::string& id);
    const nlohmann::json* transcoder(const std::string& id) const;

    // A new application owned by the user and a token for it, as {app_id, token}.
    nlohmann::json createApplication(const std::string& name, const std::string& userId,
                                     const std::string& token);
    nlohmann::json storagePage(const std::string& sort, const std::string& method, int perPage,
                               int page) const;

    nlohmann::json toJson() const;
    // Throws when the text is not a state this service could have written.
    static DevState fromJson(const nlohmann::json& json);
};

// What is wrong with a storage as stored or sent, as a sentence for an errors body; nothing when
// it has a non-empty name, a method, settings with a textual mount_point and a list of
// transcoder ids. Later lists read these fields, so nothing else is kept.
std::optional<std::string> storageProblem(const nlohmann::json& storage);
// The same for a transcoder: an id, a name, a type and settings.
std::optional<std::string> transcoderProblem(const nlohmann::json& transcoder);

}  // namespace orvane_dev
