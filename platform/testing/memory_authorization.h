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

    AuthorizationStatus create(std::shared_ptr<AuthorizationReference>& reference) override {
        std::lock_guard lock(mutex_);
        const bool made = createStatus == errAuthorizationSuccess && !createGivesNoReference;
        reference = made ? std::make_shared<AuthorizationReference>() : nullptr;
        return createStatus;
    }
    // Answers `rightsStatus` and records the request; interaction is not modelled.
    AuthorizationStatus createWithRights(
        const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
        std::shared_ptr<AuthorizationReference>& reference) override {
        std::unique_lock lock(mutex_);
        const auto asking = whileAsking;
        lock.unlock();
        if (asking) asking();
        lock.lock();
        RightsRequest request{{}, flags};
        for (const auto& right : rights) request.rights.push_back(right.name);
        rightsRequests.push_back(request);
        const bool made = rightsStatus == errAuthorizationSuccess && !rightsGiveNoReference;
        reference = made ? std::make_shared<AuthorizationReference>(request.rights) : nullptr;
        return rightsStatus;
    }
    AuthorizationStatus rightGet(const std::string& name,
                                 std::optional<nlohmann::json>& definition) override {
        std::lock_guard lock(mutex_);
        auto found = rights.find(name);
        definition = found == rights.end() ? std::nullopt : std::optional(found->second);
        return definition ? errAuthorizationSuccess : errAuthorizationDenied;
    }
    AuthorizationStatus rightSet(const AuthorizationReference&, const std::string& name,
                                 const nlohmann::json& rule,
                                 const std::string& description) override {
        std::lock_guard lock(mutex_);
        writes.push_back({name, rule, description});
        if (setStatus) return *setStatus;
        rights[name] =
            rule.is_string() ? nlohmann::json{{"rule", nlohmann::json::array({rule})}} : rule;
        return errAuthorizationSuccess;
    }

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
