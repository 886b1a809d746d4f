#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/xpc_interface.h"

// A connection to a named service: the caller's object is exported to the service, the
// service's object is reached through proxies. Messages are checked against both interfaces.
namespace platform {

inline constexpr std::string_view kXpcErrorDomain = "NSCocoaErrorDomain";
// The link broke while calls were waiting (the service died); the connection may be used again.
inline constexpr long kXpcConnectionInterrupted = 4097;
// The connection ended for good, or the service could not be reached or trusted.
inline constexpr long kXpcConnectionInvalid = 4099;
// The answer to a call was refused by the service or did not fit the reply block.
inline constexpr long kXpcConnectionReplyInvalid = 4101;
// A message's arguments did not fit its method's signature.
inline constexpr long kXpcCoderReadCorrupt = 4864;

// An error of a call, or an error carried in a reply (a method's `NSError` argument).
struct XpcError {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
    // What exactly went wrong; for the log, not for a person.
    std::string debugDescription;

    // The full description used in log lines: domain, code, text and details.
    std::string description() const;

    // Connection errors, with the platform's texts.
    static XpcError interrupted(std::string_view service);
    static XpcError invalidated(std::string_view service, std::string_view reason);
    static XpcError replyInvalid(std::string_view selector, std::string_view reason);
    static XpcError argumentsInvalid(std::string_view selector);

    // As carried on the connection: {"domain", "code", "description"}.
    nlohmann::json toValue() const;
    // Null and malformed values give nullopt.
    static std::optional<XpcError> fromValue(const nlohmann::json& value);
};

// The values of a message or of a reply block, in signature order, as a JSON array: strings,
// numbers, data as base64 text, errors as null or XpcError::toValue().
using XpcValues = nlohmann::json;
using XpcReplyBlock = std::function<void(XpcValues)>;
using XpcErrorHandler = std::function<void(const XpcError&)>;

// The object a connection exports. Calls arrive on the connection's queue, already checked
// against the exported interface. `reply` is set exactly when the method has a reply block;
// calling it more than once has no effect.
class XpcExportedObject {
public:
    XpcExportedObject() = default;
    XpcExportedObject(const XpcExportedObject&) = delete;
    XpcExportedObject& operator=(const XpcExportedObject&) = delete;
    virtual ~XpcExportedObject() = default;
    virtual void invoke(const std::string& selector, const XpcValues& arguments,
                        XpcReplyBlock reply) = 0;
};

// Sends messages of the remote interface. For a method with a reply block, exactly one of
// `reply` and the proxy's error handler runs, once, on the connection's queue; a one-way method
// gets nothing back (its error handler runs when it cannot be sent).
class XpcRemoteProxy {
public:
    XpcRemoteProxy() = default;
    XpcRemoteProxy(const XpcRemoteProxy&) = delete;
    XpcRemoteProxy& operator=(const XpcRemoteProxy&) = delete;
    virtual ~XpcRemoteProxy() = default;
    virtual void send(std::string_view selector, XpcValues arguments, XpcReplyBlock reply = {}) = 0;
};

class XpcConnection {
public:
    XpcConnection() = default;
    XpcConnection(const XpcConnection&) = delete;
    XpcConnection& operator=(const XpcConnection&) = delete;
    virtual ~XpcConnection() = default;

    virtual void setExportedInterface(const ProtocolDescription& interface) = 0;
    virtual void setExportedObject(std::shared_ptr<XpcExportedObject> object) = 0;
    virtual void setRemoteInterface(const ProtocolDescription& interface) = 0;
    // Runs once on the connection's queue when the connection ends for good; empty clears it.
    virtual void setInvalidationHandler(std::function<void()> handler) = 0;

    // Messages sent before resume() wait for it.
    virtual void resume() = 0;
    // Ends the connection: waiting calls fail, later ones fail at once.
    virtual void invalidate() = 0;

    virtual std::shared_ptr<XpcRemoteProxy> remoteObjectProxyWithErrorHandler(
        XpcErrorHandler handler) = 0;
};

// Makes connections to services by name.
class XpcConnector {
public:
    // The option that asks for a privileged service: only a peer running as the system's
    // administrator (or the sandbox's owner, in a sandbox) is accepted.
    static constexpr unsigned kPrivileged = 4096;

    XpcConnector() = default;
    XpcConnector(const XpcConnector&) = delete;
    XpcConnector& operator=(const XpcConnector&) = delete;
    virtual ~XpcConnector() = default;
    virtual std::shared_ptr<XpcConnection> connectToMachService(const std::string& name,
                                                                unsigned options) = 0;
};

}  // namespace platform
