#include "helper_interface/helper_authorization.h"

#include "helper_interface/helper_protocol.h"
#include "platform/authorization.h"
#include "platform/registry.h"

nlohmann::json HelperAuthorizationRight::rule() const {
    if (ruleCustom) return *ruleCustom;
    if (ruleConstant) return *ruleConstant;
    return "authenticate-admin";
}

const std::vector<HelperAuthorizationRight>& HelperAuthorization::rightsTable() {
    // A function-local static: built once, safely from any thread.
    static const std::vector<HelperAuthorizationRight> table = [] {
        const std::string command(helper_selectors::runLaunchctlWithAuthData);
        return std::vector<HelperAuthorizationRight>{{
            command,
            std::string(kHelperMachServiceName) + "." + command,
            "QorPrivilegedHelper wants to run the command /bin/launchctl",
            nlohmann::json{{"class", "user"}, {"group", "admin"}, {"version", 1}},
            std::nullopt,
        }};
    }();
    return table;
}

void HelperAuthorization::updateRightsInDatabase() {
    auto& authorization = platform::authorization();
    std::shared_ptr<platform::AuthorizationReference> reference;
    const auto created = authorization.create(reference);
    if (created != platform::errAuthorizationSuccess) {
        throw HelperAuthorizationError(platform::authorizationErrorMessage(created));
    }
    if (!reference) throw HelperAuthorizationError("Failed to get empty authorization ref");

    for (const auto& right : rightsTable()) {
        std::optional<nlohmann::json> stored;
        auto status = authorization.rightGet(right.name, stored);
        if (status == platform::errAuthorizationDenied || ruleNeedsUpdate(stored, right)) {
            status =
                authorization.rightSet(*reference, right.name, right.rule(), right.description);
        }
        if (status != platform::errAuthorizationSuccess) {
            platform::log("AuthorizationRightSet or Get failed with error: " +
                          platform::authorizationErrorMessage(status));
        }
    }
}

std::shared_ptr<platform::AuthorizationReference> HelperAuthorization::authorizationRef(
    const std::vector<platform::AuthorizationItem>& rights,
    const std::vector<platform::AuthorizationItem>& /*environment: nothing reads it here*/,
    platform::AuthorizationFlags flags) {
    std::shared_ptr<platform::AuthorizationReference> reference;
    const auto status = platform::authorization().createWithRights(rights, flags, reference);
    if (status != platform::errAuthorizationSuccess) {
        throw HelperAuthorizationError(platform::authorizationErrorMessage(status));
    }
    return reference;
}

bool HelperAuthorization::ruleNeedsUpdate(const std::optional<nlohmann::json>& current,
                                          const HelperAuthorizationRight& right) {
    if (!current || !current->is_object()) return true;
    const nlohmann::json rule = right.rule();
    if (current->empty()) return true;
    if (rule.is_string()) {
        const auto stored = current->find("rule");
        if (stored == current->end() || !stored->is_array()) return true;
        for (const auto& name : *stored) {
            if (!name.is_string()) return true;
        }
        if (!right.ruleConstant) return true;
        return *stored != nlohmann::json::array({*right.ruleConstant});
    }
    if (rule.is_object()) {
        const auto have = current->find("version");
        const auto want = rule.find("version");
        if (have == current->end() || want == rule.end()) return true;
        if (!have->is_number_integer() || !want->is_number_integer()) return true;
        return have->get<long long>() != want->get<long long>();
    }
    return true;
}
