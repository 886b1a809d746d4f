#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The contract of the connection between the app and its privileged helper, as data: the wire
// layer checks every message against these signatures before anything acts on it.

// One type of a method signature in the platform's encoding.
struct TypeEncoding {
    enum class Kind { Void, Object, Selector, Block };
    Kind kind = Kind::Void;
    // For objects: the class named in the encoding ("NSString"), empty for a bare id.
    std::string className;
    // For blocks: the arguments the block is called with.
    std::vector<TypeEncoding> blockArguments;

    bool operator==(const TypeEncoding&) const = default;
};

struct MethodSignature {
    TypeEncoding returnType;
    // After the receiver and the selector.
    std::vector<TypeEncoding> arguments;

    // The reply block's arguments when the last argument is a block.
    const std::vector<TypeEncoding>* replyArguments() const;
};

// Parses a method's type encoding such as "v24@0:8@\"NSString\"16"; nullopt when malformed.
std::optional<MethodSignature> parseMethodEncoding(std::string_view encoding);

struct MethodDescription {
    std::string_view selector;
    std::string_view typeEncoding;
};

struct ProtocolDescription {
    std::string_view name;
    std::vector<MethodDescription> methods;

    // Null when the protocol has no such selector.
    const MethodDescription* method(std::string_view selector) const;
};

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
extern const ProtocolDescription HelperProtocol;
// Served by the app (its delegate is the exported object); the helper calls it one way.
extern const ProtocolDescription AppProtocol;

inline constexpr std::string_view kHelperMachServiceName = "com.velmora.QorPrivilegedHelper";
// The connection option that asks for a privileged service.
inline constexpr unsigned kXPCConnectionPrivileged = 4096;
