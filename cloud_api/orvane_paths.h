#pragma once

#include <string>
#include <string_view>

// Paths of the Orvane service, relative to the base URL, which ends in "/". Ids are inserted
// as they come from the service.
namespace orvane_paths {

inline constexpr std::string_view currentUser = "API/users/v1/users/current/";
inline constexpr std::string_view storages = "API/files/v1/storages/";
// One page of at most 100 FILE storages by name; further pages are never asked for.
inline constexpr std::string_view storageList =
    "API/files/v1/storages/?sort=name,asc&method=FILE&per_page=100";
inline constexpr std::string_view applications = "API/auth/v1/apps/";
inline constexpr std::string_view transcoders = "API/files/v1/transcoders/";
// Appended to a base URL that already ends in "/", hence the double slash the service expects.
inline constexpr std::string_view externalAuth = "/API/auth/v1/apps/external/auth/";

inline std::string storage(const std::string& id) { return std::string(storages) + id + "/"; }
inline std::string application(const std::string& appId) {
    return std::string(applications) + appId + "/";
}
inline std::string token(const std::string& appId) { return application(appId) + "token/"; }
inline std::string storageTranscoder(const std::string& storageId,
                                     const std::string& transcoderId) {
    return storage(storageId) + "transcoders/" + transcoderId + "/";
}
inline std::string storageSettingsPage(const std::string& storageId) {
    return "admin/storages/" + storageId + "/settings";
}
inline std::string signInPage(bool forceLogin, const std::string& code,
                              const std::string& installationId) {
    return std::string(forceLogin ? "login?next=/" : "") + "authenticate/" + code + "/" +
           installationId + "/";
}
inline std::string poll(const std::string& code) { return std::string(externalAuth) + code + "/"; }

}  // namespace orvane_paths
