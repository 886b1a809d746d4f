#include "platform/testing/memory_authorization.h"

namespace platform::testing {

AuthorizationStatus MemoryAuthorization::create(
    std::shared_ptr<AuthorizationReference>& reference) {
    std::lock_guard lock(mutex_);
    if (createStatus == errAuthorizationSuccess && !createGivesNoReference) {
        reference = std::make_shared<AuthorizationReference>();
    } else {
        reference.reset();
    }
    return createStatus;
}

AuthorizationStatus MemoryAuthorization::createWithRights(
    const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
    std::shared_ptr<AuthorizationReference>& reference) {
    std::function<void()> asking;
    {
        std::lock_guard lock(mutex_);
        asking = whileAsking;
    }
    if (asking) asking();
    std::lock_guard lock(mutex_);
    RightsRequest request{{}, flags};
    for (const auto& right : rights) request.rights.push_back(right.name);
    rightsRequests.push_back(std::move(request));
    reference.reset();
    if (rightsStatus == errAuthorizationSuccess && !rightsGiveNoReference) {
        reference = std::make_shared<AuthorizationReference>(rightsRequests.back().rights);
    }
    return rightsStatus;
}

AuthorizationStatus MemoryAuthorization::rightGet(const std::string& name,
                                                  std::optional<nlohmann::json>& definition) {
    std::lock_guard lock(mutex_);
    auto found = rights.find(name);
    if (found == rights.end()) {
        definition.reset();
        return errAuthorizationDenied;
    }
    definition = found->second;
    return errAuthorizationSuccess;
}

AuthorizationStatus MemoryAuthorization::rightSet(const AuthorizationReference&,
                                                  const std::string& name,
                                                  const nlohmann::json& rule,
                                                  const std::string& description) {
    std::lock_guard lock(mutex_);
    writes.push_back({name, rule, description});
    if (setStatus) return *setStatus;
    rights[name] =
        rule.is_string() ? nlohmann::json{{"rule", nlohmann::json::array({rule})}} : rule;
    return errAuthorizationSuccess;
}

}  // namespace platform::testing
