#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/xpc_connection.h"

namespace platform::linux_impl {

// What carries one end's messages to the other: a socket, or an in-process pipe in tests.
class XpcChannel {
public:
    struct Events {
        // Each message of the link, in order, from the channel's own thread.
        std::function<void(nlohmann::json)> message;
        // Once, when the link ends by itself (peer gone, unreadable frame).
        std::function<void(std::string reason)> closed;
    };
    XpcChannel() = default;
    XpcChannel(const XpcChannel&) = delete;
    XpcChannel& operator=(const XpcChannel&) = delete;
    virtual ~XpcChannel() = default;
    // Establishes a new link; the reason when the service cannot be reached or trusted.
    virtual std::optional<std::string> open(Events events) = 0;
    // False when the message was not sent. Safe from any thread.
    virtual bool send(const nlohmann::json& message) = 0;
    // Ends the current link; no event of it arrives once this returns. Never called from an event.
    virtual void close() = 0;
};

// The client's end of a connection, whatever its channel: checks every message against the
// interfaces, keeps the calls that wait for replies, and runs replies, calls to the exported
// object and error handlers on the connection's queue.
//
// It opens its link on the first message and again after the service went away (the waiting
// calls fail as interrupted); a link that cannot be opened invalidates it.
class XpcEndpoint : public XpcConnection, public std::enable_shared_from_this<XpcEndpoint> {
public:
    XpcEndpoint(std::string service, std::unique_ptr<XpcChannel> channel,
                std::shared_ptr<Queue> queue);
    ~XpcEndpoint() override;
    XpcEndpoint(const XpcEndpoint&) = delete;
    XpcEndpoint& operator=(const XpcEndpoint&) = delete;

    void setExportedInterface(const ProtocolDescription& interface) override;
    void setExportedObject(std::shared_ptr<XpcExportedObject> object) override;
    void setRemoteInterface(const ProtocolDescription& interface) override;
    void setInvalidationHandler(std::function<void()> handler) override;
    void resume() override;
    void invalidate() override;
    std::shared_ptr<XpcRemoteProxy> remoteObjectProxyWithErrorHandler(
        XpcErrorHandler handler) override;

    // Used by the proxies.
    void send(std::string_view selector, XpcValues arguments, XpcReplyBlock reply,
              XpcErrorHandler onError);

private:
    struct Pending {
        std::string selector;
        std::vector<TypeEncoding> replyTypes;
        XpcReplyBlock reply;
        XpcErrorHandler onError;
    };

    // Opens the link when there is none; false when the connection is (now) invalid.
    bool ensureLink();
    void received(std::uint64_t generation, const nlohmann::json& message);
    void receivedCall(const nlohmann::json& message);
    void receivedReply(const nlohmann::json& message);
    void linkEnded(std::uint64_t generation);
    // With linkMutex_ held; posts the failures and the invalidation handler.
    void invalidateLocked(const std::string& reason);
    void failHeld();
    void fail(XpcErrorHandler onError, XpcError error);
    XpcReplyBlock replyBlockFor(std::uint64_t id, std::vector<TypeEncoding> replyTypes);

    const std::string service_;
    const std::unique_ptr<XpcChannel> channel_;
    const std::shared_ptr<Queue> queue_;

    // Orders opening, sending and closing; never taken by channel events, so a channel may
    // join its reader while holding it.
    std::mutex linkMutex_;
    // The state below; channel events take it.
    std::mutex mutex_;
    const ProtocolDescription* exported_ = nullptr;
    const ProtocolDescription* remote_ = nullptr;
    std::shared_ptr<XpcExportedObject> object_;
    std::function<void()> invalidationHandler_;
    bool resumed_ = false;
    bool invalid_ = false;
    // Why it became invalid; what later calls' errors say.
    std::string invalidReason_;
    bool linked_ = false;
    std::uint64_t generation_ = 0;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, Pending> pending_;
    // Messages sent before resume().
    struct Held {
        std::string selector;
        XpcValues arguments;
        XpcReplyBlock reply;
        XpcErrorHandler onError;
    };
    std::vector<Held> held_;
};

}  // namespace platform::linux_impl
