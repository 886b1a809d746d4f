#include "platform/linux/xpc_endpoint.h"

#include <atomic>

#include "platform/linux/xpc_wire.h"

namespace platform::linux_impl {
namespace {

using nlohmann::json;

std::optional<MethodSignature> signatureOf(const ProtocolDescription* protocol,
                                           std::string_view selector) {
    if (!protocol) return std::nullopt;
    const auto* method = protocol->method(selector);
    if (!method) return std::nullopt;
    return parseMethodEncoding(method->typeEncoding);
}

// The arguments a message carries: all but the reply block.
std::vector<TypeEncoding> messageTypes(const MethodSignature& signature) {
    auto types = signature.arguments;
    if (signature.replyArguments()) types.pop_back();
    return types;
}

bool validId(const json& message) {
    const auto id = message.find("id");
    return id != message.end() && id->is_number_unsigned();
}

class EndpointProxy : public XpcRemoteProxy {
public:
    EndpointProxy(std::shared_ptr<XpcEndpoint> endpoint, XpcErrorHandler onError)
        : endpoint_(std::move(endpoint)), onError_(std::move(onError)) {}
    void send(std::string_view selector, XpcValues arguments, XpcReplyBlock reply) override {
        endpoint_->send(selector, std::move(arguments), std::move(reply), onError_);
    }

private:
    std::shared_ptr<XpcEndpoint> endpoint_;
    XpcErrorHandler onError_;
};

}  // namespace

XpcEndpoint::XpcEndpoint(std::string service, std::unique_ptr<XpcChannel> channel,
                         std::shared_ptr<Queue> queue)
    : service_(std::move(service)), channel_(std::move(channel)), queue_(std::move(queue)) {}

XpcEndpoint::~XpcEndpoint() {
    std::lock_guard link(linkMutex_);
    invalidateLocked("the connection was released");
    failHeld();
}

void XpcEndpoint::failHeld() {
    std::vector<Held> held;
    std::string reason;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
        reason = invalidReason_;
    }
    for (auto& message : held) {
        fail(std::move(message.onError), XpcError::invalidated(service_, reason));
    }
}

void XpcEndpoint::setExportedInterface(const ProtocolDescription& interface) {
    std::lock_guard lock(mutex_);
    exported_ = &interface;
}

void XpcEndpoint::setExportedObject(std::shared_ptr<XpcExportedObject> object) {
    std::lock_guard lock(mutex_);
    object_ = std::move(object);
}

void XpcEndpoint::setRemoteInterface(const ProtocolDescription& interface) {
    std::lock_guard lock(mutex_);
    remote_ = &interface;
}

void XpcEndpoint::setInvalidationHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    invalidationHandler_ = std::move(handler);
}

void XpcEndpoint::resume() {
    std::vector<Held> held;
    {
        std::lock_guard lock(mutex_);
        if (resumed_) return;
        resumed_ = true;
        held.swap(held_);
    }
    for (auto& message : held) {
        send(message.selector, std::move(message.arguments), std::move(message.reply),
             std::move(message.onError));
    }
}

void XpcEndpoint::invalidate() {
    std::lock_guard link(linkMutex_);
    invalidateLocked("the connection was invalidated");
    failHeld();
}

std::shared_ptr<XpcRemoteProxy> XpcEndpoint::remoteObjectProxyWithErrorHandler(
    XpcErrorHandler handler) {
    return std::make_shared<EndpointProxy>(shared_from_this(), std::move(handler));
}

void XpcEndpoint::fail(XpcErrorHandler onError, XpcError error) {
    if (!onError) return;
    queue_->async([onError = std::move(onError), error = std::move(error)] { onError(error); });
}

void XpcEndpoint::send(std::string_view selector, XpcValues arguments, XpcReplyBlock reply,
                       XpcErrorHandler onError) {
    std::optional<MethodSignature> signature;
    {
        std::lock_guard lock(mutex_);
        signature = signatureOf(remote_, selector);
        // A call that does not fit the remote interface never leaves this process.
        if (!signature || !wire::valuesMatch(messageTypes(*signature), arguments) ||
            (signature->replyArguments() != nullptr) != static_cast<bool>(reply)) {
            fail(std::move(onError), XpcError::argumentsInvalid(selector));
            return;
        }
        if (invalid_) {
            fail(std::move(onError), XpcError::invalidated(service_, invalidReason_));
            return;
        }
        if (!resumed_) {
            held_.push_back(Held{std::string(selector), std::move(arguments), std::move(reply),
                                 std::move(onError)});
            return;
        }
    }
    std::lock_guard link(linkMutex_);
    if (!ensureLink()) {
        std::string reason;
        {
            std::lock_guard lock(mutex_);
            reason = invalidReason_;
        }
        fail(std::move(onError), XpcError::invalidated(service_, reason));
        return;
    }
    json message = {{"selector", selector}, {"arguments", std::move(arguments)}};
    std::optional<std::uint64_t> id;
    if (reply) {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        message["id"] = *id;
        pending_[*id] =
            Pending{std::string(selector), *signature->replyArguments(), std::move(reply), onError};
    }
    if (channel_->send(message)) return;
    if (id) {
        std::lock_guard lock(mutex_);
        // The link may have ended meanwhile and failed it already.
        if (pending_.erase(*id) == 0) return;
    }
    fail(std::move(onError), XpcError::interrupted(service_));
}

bool XpcEndpoint::ensureLink() {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        if (invalid_) return false;
        if (linked_) return true;
        generation = ++generation_;
        linked_ = true;
    }
    // Whatever remains of an ended link (its reader) is cleared before the next one.
    channel_->close();
    auto failure = channel_->open(XpcChannel::Events{
        [this, generation](const json& message) { received(generation, message); },
        [this, generation](const std::string&) { linkEnded(generation); }});
    if (failure) {
        invalidateLocked(*failure);
        return false;
    }
    return true;
}

void XpcEndpoint::invalidateLocked(const std::string& reason) {
    std::map<std::uint64_t, Pending> pending;
    std::function<void()> handler;
    // Released here: the object may hold a proxy of this very connection.
    std::shared_ptr<XpcExportedObject> object;
    {
        std::lock_guard lock(mutex_);
        if (invalid_) return;
        invalid_ = true;
        invalidReason_ = reason;
        linked_ = false;
        ++generation_;
        pending.swap(pending_);
        handler = std::move(invalidationHandler_);
        invalidationHandler_ = nullptr;
        object.swap(object_);
    }
    channel_->close();
    for (auto& [id, call] : pending)
        fail(std::move(call.onError), XpcError::invalidated(service_, reason));
    if (handler) queue_->async(std::move(handler));
}

void XpcEndpoint::linkEnded(std::uint64_t generation) {
    std::map<std::uint64_t, Pending> pending;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || !linked_) return;
        linked_ = false;
        pending.swap(pending_);
    }
    // The next message opens a new link.
    for (auto& [id, call] : pending) fail(std::move(call.onError), XpcError::interrupted(service_));
}

void XpcEndpoint::received(std::uint64_t generation, const json& message) {
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_) return;
    }
    if (message.contains("selector")) {
        receivedCall(message);
    } else if (validId(message)) {
        receivedReply(message);
    }
}

void XpcEndpoint::receivedCall(const json& message) {
    const ProtocolDescription* exported = nullptr;
    std::shared_ptr<XpcExportedObject> object;
    {
        std::lock_guard lock(mutex_);
        exported = exported_;
        object = object_;
    }
    const auto refuse = [&](const std::string& why) {
        if (validId(message)) channel_->send({{"id", message["id"]}, {"error", why}});
    };
    if (!exported || !object) return refuse("nothing is served on this connection");
    auto checked = wire::checkCall(*exported, message);
    if (auto* problem = std::get_if<std::string>(&checked)) return refuse(*problem);
    auto& call = std::get<wire::CheckedCall>(checked);
    XpcReplyBlock reply;
    if (call.id) reply = replyBlockFor(*call.id, *call.signature.replyArguments());
    queue_->async([object, selector = std::move(call.selector), arguments = message["arguments"],
                   reply = std::move(reply)] { object->invoke(selector, arguments, reply); });
}

namespace {

// Shared by the copies of one reply block. The caller gets exactly one answer: the first reply,
// or an error when the block is released without ever being called.
struct ReplyState {
    std::function<void(const json&)> send;
    std::uint64_t id;
    std::vector<TypeEncoding> types;
    std::atomic<bool> called{false};

    void answer(XpcValues values) {
        if (called.exchange(true)) return;
        // A reply our own object got wrong is an error for the caller, never a bad value.
        if (!wire::valuesMatch(types, values)) {
            send({{"id", id}, {"error", "the reply does not match its signature"}});
            return;
        }
        send({{"id", id}, {"reply", std::move(values)}});
    }
    ~ReplyState() {
        if (!called) send({{"id", id}, {"error", "the request was not answered"}});
    }
    ReplyState() = default;
    ReplyState(const ReplyState&) = delete;
    ReplyState& operator=(const ReplyState&) = delete;
};

}  // namespace

XpcReplyBlock XpcEndpoint::replyBlockFor(std::uint64_t id, std::vector<TypeEncoding> replyTypes) {
    std::weak_ptr<XpcEndpoint> weak = weak_from_this();
    auto state = std::make_shared<ReplyState>();
    state->send = [weak](const json& message) {
        if (auto self = weak.lock()) self->channel_->send(message);
    };
    state->id = id;
    state->types = std::move(replyTypes);
    return [state](XpcValues values) { state->answer(std::move(values)); };
}

void XpcEndpoint::receivedReply(const json& message) {
    Pending call;
    {
        std::lock_guard lock(mutex_);
        auto found = pending_.find(message["id"].get<std::uint64_t>());
        if (found == pending_.end()) return;
        call = std::move(found->second);
        pending_.erase(found);
    }
    const auto error = message.find("error");
    if (error != message.end()) {
        return fail(
            std::move(call.onError),
            XpcError::replyInvalid(call.selector, error->is_string() ? error->get<std::string>()
                                                                     : std::string("refused")));
    }
    const auto values = message.find("reply");
    if (values == message.end() || !wire::valuesMatch(call.replyTypes, *values)) {
        return fail(std::move(call.onError),
                    XpcError::replyInvalid(call.selector, "it does not match the reply block"));
    }
    queue_->async([reply = std::move(call.reply), values = *values] { reply(values); });
}

}  // namespace platform::linux_impl
