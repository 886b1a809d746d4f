#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The status codes of the system's authorization services.
using AuthorizationStatus = std::int32_t;
inline constexpr AuthorizationStatus errAuthorizationSuccess = 0;
inline constexpr AuthorizationStatus errAuthorizationInvalidSet = -60001;
inline constexpr AuthorizationStatus errAuthorizationInvalidRef = -60002;
inline constexpr AuthorizationStatus errAuthorizationInvalidTag = -60003;
inline constexpr AuthorizationStatus errAuthorizationInvalidPointer = -60004;
// Reading a right: the right does not exist.
inline constexpr AuthorizationStatus errAuthorizationDenied = -60005;
inline constexpr AuthorizationStatus errAuthorizationCanceled = -60006;
inline constexpr AuthorizationStatus errAuthorizationInteractionNotAllowed = -60007;
inline constexpr AuthorizationStatus errAuthorizationInternal = -60008;

using AuthorizationFlags = std::uint32_t;
inline constexpr AuthorizationFlags kAuthorizationFlagDefaults = 0;
inline constexpr AuthorizationFlags kAuthorizationFlagInteractionAllowed = 1;
inline constexpr AuthorizationFlags kAuthorizationFlagExtendRights = 2;
inline constexpr AuthorizationFlags kAuthorizationFlagPartialRights = 4;
inline constexpr AuthorizationFlags kAuthorizationFlagDestroyRights = 8;
inline constexpr AuthorizationFlags kAuthorizationFlagPreAuthorize = 16;

// The right that installing a privileged helper needs.
inline constexpr char kSMRightBlessPrivilegedHelper[] = "com.apple.ServiceManagement.blesshelper";

// One requested right, or one environment entry.
struct AuthorizationItem {
    std::string name;
    std::optional<std::string> value;
};

// Asks the person at the machine to act as the administrator. Blocks the calling thread until
// they answer; errAuthorizationCanceled when they decline.
class AdministratorPrompt {
public:
    AdministratorPrompt() = default;
    AdministratorPrompt(const AdministratorPrompt&) = delete;
    AdministratorPrompt& operator=(const AdministratorPrompt&) = delete;
    virtual ~AdministratorPrompt() = default;
    virtual AuthorizationStatus askForRights(const std::vector<std::string>& rights) = 0;
};

// What a granted reference stands for; opaque to its users, who can only ask whether it holds
// a right.
class AuthorizationReference {
public:
    AuthorizationReference() = default;
    explicit AuthorizationReference(std::vector<std::string> rights) : rights_(std::move(rights)) {}
    AuthorizationReference(const AuthorizationReference&) = delete;
    AuthorizationReference& operator=(const AuthorizationReference&) = delete;
    virtual ~AuthorizationReference() = default;
    bool holdsRight(const std::string& name) const {
        for (const auto& right : rights_) {
            if (right == name) return true;
        }
        return false;
    }

private:
    std::vector<std::string> rights_;
};

// A store of named rights, each with a rule definition (a dictionary, or a rule's name as a
// string), shaped like the system's calls so that their callers read the same.
class Authorization {
public:
    Authorization() = default;
    Authorization(const Authorization&) = delete;
    Authorization& operator=(const Authorization&) = delete;
    virtual ~Authorization() = default;
    // A reference with no rights, no environment and default flags. Null with status 0 is
    // possible in principle and callers treat it as a failure.
    virtual AuthorizationStatus create(std::shared_ptr<AuthorizationReference>& reference) = 0;
    // A reference that holds `rights`. Extending to rights the caller does not hold yet needs
    // kAuthorizationFlagExtendRights, and asking the administrator needs
    // kAuthorizationFlagInteractionAllowed; without it the answer is
    // errAuthorizationInteractionNotAllowed.
    virtual AuthorizationStatus createWithRights(
        const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
        std::shared_ptr<AuthorizationReference>& reference) = 0;
    virtual AuthorizationStatus rightGet(const std::string& name,
                                         std::optional<nlohmann::json>& definition) = 0;
    virtual AuthorizationStatus rightSet(const AuthorizationReference& reference,
                                         const std::string& name, const nlohmann::json& rule,
                                         const std::string& description) = 0;
};

// The text of a status, as the system words it.
std::string authorizationErrorMessage(AuthorizationStatus status);

}  // namespace platform
