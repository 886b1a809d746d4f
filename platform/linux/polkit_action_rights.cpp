#include "platform/linux/polkit_action_rights.h"

#include <pugixml.hpp>
#include <system_error>

namespace platform::linux_impl {

std::string PolkitActionRights::actionId(const std::string& rightName) {
    std::string id = rightName.substr(0, rightName.find(':'));
    for (char& c : id) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        const bool allowed =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!allowed) return {};
    }
    return id;
}

AuthorizationStatus PolkitActionRights::findAction(const std::string& id) const {
    if (id.empty()) return errAuthorizationDenied;
    std::error_code ec;
    if (!std::filesystem::exists(policyFile_, ec)) return errAuthorizationDenied;
    pugi::xml_document policy;
    if (!policy.load_file(policyFile_.c_str())) return errAuthorizationInternal;
    const auto action =
        policy.child("policyconfig").find_child_by_attribute("action", "id", id.c_str());
    return action ? errAuthorizationSuccess : errAuthorizationDenied;
}

AuthorizationStatus PolkitActionRights::create(std::shared_ptr<AuthorizationReference>& reference) {
    reference = std::make_shared<AuthorizationReference>();
    return errAuthorizationSuccess;
}

AuthorizationStatus PolkitActionRights::createWithRights(
    const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
    std::shared_ptr<AuthorizationReference>& reference) {
    reference.reset();
    if (rights.empty()) return create(reference);
    for (const auto& right : rights) {
        if (right.name.empty()) return errAuthorizationInvalidSet;
        // The helper's own rights are polkit's to grant, request by request.
        if (right.name != kSMRightBlessPrivilegedHelper) return errAuthorizationDenied;
    }
    if (!(flags & kAuthorizationFlagExtendRights)) return errAuthorizationDenied;
    reference = std::make_shared<AuthorizationReference>(
        std::vector<std::string>{kSMRightBlessPrivilegedHelper});
    return errAuthorizationSuccess;
}

AuthorizationStatus PolkitActionRights::rightGet(const std::string& name,
                                                 std::optional<nlohmann::json>& definition) {
    definition.reset();
    const std::string id = actionId(name);
    const auto status = findAction(id);
    if (status == errAuthorizationSuccess) definition = nlohmann::json{{"action", id}};
    return status;
}

AuthorizationStatus PolkitActionRights::rightSet(const AuthorizationReference&,
                                                 const std::string& name, const nlohmann::json&,
                                                 const std::string&) {
    // The package's action is the definition; the app has nothing to add to it.
    return findAction(actionId(name));
}

}  // namespace platform::linux_impl
