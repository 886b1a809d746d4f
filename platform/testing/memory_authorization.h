#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/authorization.h"

namespace platform::testing {

// Rights in memory, with switches for the failures the real store can report.
class MemoryAuthorization : public Authorization {
public:
    struct Write {
        std::string name;
        nlohmann::json rule;
        std::string description;
    };

    AuthorizationStatus create(std::shared_ptr<AuthorizationReference>& reference) override;
    // Answers `rightsStatus` and records the request; interaction is not modelled.
    AuthorizationStatus createWithRights(
        const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
        std::shared_ptr<AuthorizationReference>& reference) override;
    AuthorizationStatus rightGet(const std::string& name,
                                 std::optional<nlohmann::json>& definition) override;
    AuthorizationStatus rightSet(const AuthorizationReference& reference, const std::string& name,
                                 const nlohmann::json& rule,
                                 const std::string& description) override;

    // Stored definitions by name, as rightGet answers them.
    std::map<std::string, nlohmann::json> rights;
    std::vector<Write> writes;
    AuthorizationStatus createStatus = errAuthorizationSuccess;
    bool createGivesNoReference = false;
    std::optional<AuthorizationStatus> setStatus;
    struct RightsRequest {
        std::vector<std::string> rights;
        AuthorizationFlags flags;
    };
    std::vector<RightsRequest> rightsRequests;
    AuthorizationStatus rightsStatus = errAuthorizationSuccess;
    bool rightsGiveNoReference = false;
    // Runs inside createWithRights before it answers, as the administrator dialog would.
    std::function<void()> whileAsking;

private:
    std::mutex mutex_;
};

}  // namespace platform::testing
