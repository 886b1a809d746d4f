#include "platform/testing/memory_authorization.h"

namespace platform::testing {

AuthorizationStatus MemoryAuthorization::create(std::shared_ptr<AuthorizationReference>& reference) {
    std::lock_guard lock(mutex_);
    if (createStatus == errAuthorizationSuccess && !createGivesNoReference) {
        reference = std::make_shared<AuthorizationReference>();
    } else {
        reference.reset();
    }
    return createStatus;
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
                                                  const std::string& name, const nlohmann::json& rule,
                                                  const std::string& description) {
    std::lock_guard lock(mutex_);
    writes.push_back({name, rule, description});
    if (setStatus) return *setStatus;
    rights[name] = rule.is_string() ? nlohmann::json{{"rule", nlohmann::json::array({rule})}} : rule;
    return errAuthorizationSuccess;
}

}  // namespace platform::testing
