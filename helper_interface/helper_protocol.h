#pragma once

#include <string_view>

#include "platform/xpc_interface.h"

// The contract of the connection between the app and its privileged helper.

namespace helper_selectors {
inline constexpr std::string_view getVersion = "getVersionWithCompletion:";
inline constexpr std::string_view runLaunchctl = "runQorLaunchctlWithSubcommand:completion:";
inline constexpr std::string_view runLaunchctlWithAuthData =
    "runQorLaunchctlWithSubcommand:authData:completion:";
inline constexpr std::string_view createLogDirectory = "createLogDirectoryWithCompletion:";
inline constexpr std::string_view logWithStdOut = "logWithStdOut:";
inline constexpr std::string_view logWithStdErr = "logWithStdErr:";
}  // namespace helper_selectors

// Served by the helper; the remote interface of the app's connection.
extern const platform::ProtocolDescription HelperProtocol;
// Served by the app (its delegate is the exported object); the helper calls it one way.
extern const platform::ProtocolDescription AppProtocol;

inline constexpr std::string_view kHelperMachServiceName = "com.velmora.QorPrivilegedHelper";
// The connection option that asks for a privileged service.
inline constexpr unsigned kXPCConnectionPrivileged = 4096;
