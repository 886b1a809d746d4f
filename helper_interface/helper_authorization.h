#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/authorization.h"

// One right of the authorization database that guards a helper command.
struct HelperAuthorizationRight {
    std::string command;
    std::string name;
    std::string description;
    // A full rule definition; wins over `ruleConstant`.
    std::optional<nlohmann::json> ruleCustom;
    // The name of a predefined rule.
    std::optional<std::string> ruleConstant;

    // The rule to store: the dictionary, else the named rule, else "authenticate-admin".
    nlohmann::json rule() const;
};

class HelperAuthorizationError : public std::runtime_error {
public:
    enum class Kind { message };
    explicit HelperAuthorizationError(const std::string& message)
        : std::runtime_error(message), kind(Kind::message) {}
    Kind kind;
};

class HelperAuthorization {
public:
    HelperAuthorization() = delete;

    static const std::vector<HelperAuthorizationRight>& rightsTable();
    // Writes every right that is missing or outdated. Throws HelperAuthorizationError when no
    // authorization reference can be had; a failure for one right is logged, never thrown.
    static void updateRightsInDatabase();
    // True when the stored definition must be rewritten for `right`.
    static bool ruleNeedsUpdate(const std::optional<nlohmann::json>& current,
                                const HelperAuthorizationRight& right);
    // A reference holding `rights`; with interaction allowed this may ask the administrator and
    // block until they answer. Throws HelperAuthorizationError with the platform's text when
    // the platform refuses; null when it gives no reference without saying why.
    static std::shared_ptr<platform::AuthorizationReference> authorizationRef(
        const std::vector<platform::AuthorizationItem>& rights,
        const std::vector<platform::AuthorizationItem>& environment,
        platform::AuthorizationFlags flags);
};
