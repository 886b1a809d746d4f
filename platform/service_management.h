#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/authorization.h"

namespace platform {

// The launchd domain of system-wide daemons; the only one helpers are blessed into.
inline constexpr std::string_view kSMDomainSystemLaunchd = "system";
inline constexpr std::string_view kSMErrorDomainFramework = "CFErrorDomainLaunchd";

// Codes of a failed blessing, in the platform's numbering.
inline constexpr long kSMErrorInternalFailure = 2;
inline constexpr long kSMErrorInvalidSignature = 3;
inline constexpr long kSMErrorAuthorizationFailure = 4;
inline constexpr long kSMErrorToolNotValid = 5;
inline constexpr long kSMErrorJobNotFound = 6;
inline constexpr long kSMErrorInvalidPlist = 8;

struct ServiceManagementError {
    std::string domain{kSMErrorDomainFramework};
    long code = kSMErrorInternalFailure;
    // In English, as the log shows it.
    std::string localizedDescription;
    // What exactly went wrong; for the log, not for a person.
    std::string debugDescription;
    // localizedDescription for a person, in the session's language; empty where the source
    // gives none.
    std::string shownDescription = {};

    // Domain, code, text and details, as log lines show an error.
    std::string description() const;
};

// Installs privileged helpers and registers them with the service manager; registers login items.
class ServiceManagement {
public:
    ServiceManagement() = default;
    ServiceManagement(const ServiceManagement&) = delete;
    ServiceManagement& operator=(const ServiceManagement&) = delete;
    virtual ~ServiceManagement() = default;
    // Copies the helper `label` out of the main bundle's Contents/Library/LaunchServices into the
    // system's privileged helper tools, writes its job definition, and replaces a loaded job of
    // that label with the new one. The reference must hold the blessing right. False on failure,
    // with `error` set when the reason is known.
    virtual bool jobBless(std::string_view domain, const std::string& label,
                          const AuthorizationReference& authorization,
                          std::optional<ServiceManagementError>& error) = 0;
    // Starts (or no longer starts) the login item `identifier`, carried in the main bundle's
    // Contents/Library/LoginItems, at the user's login. True when the registration changed.
    virtual bool loginItemSetEnabled(const std::string& identifier, bool enabled) = 0;
};

}  // namespace platform
