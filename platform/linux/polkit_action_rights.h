#pragma once

#include <filesystem>
#include <string>

#include "platform/authorization.h"

namespace platform::linux_impl {

// Where the package installs the polkit actions of the helper's rights.
inline constexpr char kHelperPolicyFile[] =
    "/usr/share/polkit-1/actions/com.velmora.qorprivilegedhelper.policy";

// The rights where the package installed them: each right is the polkit action whose id is the
// right's name in lower case up to its selector's first colon, and polkit decides it for every
// request in the helper. So this store only reads: a right exists when its action is in the
// policy file, and writing one that exists changes nothing.
class PolkitActionRights : public Authorization {
public:
    explicit PolkitActionRights(std::filesystem::path policyFile)
        : policyFile_(std::move(policyFile)) {}

    AuthorizationStatus create(std::shared_ptr<AuthorizationReference>& reference) override;
    // Grants only the blessing right, without asking: blessing a packaged helper only checks it.
    AuthorizationStatus createWithRights(
        const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
        std::shared_ptr<AuthorizationReference>& reference) override;
    // The definition is {"action": id}.
    AuthorizationStatus rightGet(const std::string& name,
                                 std::optional<nlohmann::json>& definition) override;
    AuthorizationStatus rightSet(const AuthorizationReference& reference, const std::string& name,
                                 const nlohmann::json& rule,
                                 const std::string& description) override;

    // The action that stands for a right; empty when the name makes no valid action id.
    static std::string actionId(const std::string& rightName);

private:
    // Success, errAuthorizationDenied when the action is not installed, errAuthorizationInternal
    // when the policy file cannot be read as one.
    AuthorizationStatus findAction(const std::string& id) const;

    std::filesystem::path policyFile_;
};

}  // namespace platform::linux_impl
