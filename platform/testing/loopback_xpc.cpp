#include "platform/testing/loopback_xpc.h"

#include "platform/linux/xpc_endpoint.h"

namespace platform::testing {

using linux_impl::XpcChannel;
using linux_impl::XpcEndpoint;
using nlohmann::json;

struct LoopbackXpc::Pipe : std::enable_shared_from_this<Pipe> {
    struct Side {
        std::mutex mutex;
        XpcChannel::Events events;
    };

    explicit Pipe(std::shared_ptr<Queue> wire) : wire(std::move(wire)) {}

    bool send(bool fromClient, const json& message) {
        // As text, the way a socket carries it.
        std::string text = message.dump(-1, ' ', false, json::error_handler_t::replace);
        std::lock_guard lock(stateMutex);
        if (broken) return false;
        wire->async([self = shared_from_this(), fromClient, text = std::move(text)] {
            Side& to = fromClient ? self->server : self->client;
            std::lock_guard side(to.mutex);
            if (to.events.message) to.events.message(json::parse(text));
        });
        return true;
    }

    void breakLink(const std::string& reason, bool tellClient, bool tellServer) {
        std::lock_guard lock(stateMutex);
        if (broken) return;
        broken = true;
        wire->async([self = shared_from_this(), reason, tellClient, tellServer] {
            for (Side* side :
                 {tellClient ? &self->client : nullptr, tellServer ? &self->server : nullptr}) {
                if (!side) continue;
                std::lock_guard sideLock(side->mutex);
                if (side->events.closed) side->events.closed(reason);
                side->events = {};
            }
        });
    }

    // Under the side's lock, which waits for a delivery in progress: once events are cleared, none
    // arrives afterwards.
    static void setEvents(Side& side, XpcChannel::Events events) {
        std::lock_guard lock(side.mutex);
        side.events = std::move(events);
    }

    std::shared_ptr<Queue> wire;
    std::mutex stateMutex;
    bool broken = false;
    Side client;
    Side server;
};

namespace {

// The client's end of a pipe, which links to its service when opened.
class PipeEnd : public XpcChannel {
public:
    PipeEnd(std::weak_ptr<LoopbackXpc> hub, std::string name)
        : hub_(std::move(hub)), name_(std::move(name)) {}
    ~PipeEnd() override { close(); }

    std::optional<std::string> open(Events events) override {
        auto hub = hub_.lock();
        if (!hub) return "failed at lookup: no services";
        auto linked = hub->link(name_);
        if (auto* reason = std::get_if<std::string>(&linked)) return *reason;
        auto pipe = std::get<std::shared_ptr<LoopbackXpc::Pipe>>(linked);
        LoopbackXpc::Pipe::setEvents(pipe->client, std::move(events));
        std::lock_guard lock(mutex_);
        pipe_ = std::move(pipe);
        return std::nullopt;
    }
    bool send(const json& message) override {
        std::lock_guard lock(mutex_);
        return pipe_ && pipe_->send(true, message);
    }
    void close() override {
        std::shared_ptr<LoopbackXpc::Pipe> pipe;
        {
            std::lock_guard lock(mutex_);
            pipe.swap(pipe_);
        }
        if (!pipe) return;
        pipe->breakLink("the client went away", false, true);
        LoopbackXpc::Pipe::setEvents(pipe->client, {});
    }

private:
    std::weak_ptr<LoopbackXpc> hub_;
    std::string name_;
    std::mutex mutex_;
    std::shared_ptr<LoopbackXpc::Pipe> pipe_;
};

}  // namespace

LoopbackXpc::LoopbackXpc(std::shared_ptr<Dispatch> dispatch) : dispatch_(std::move(dispatch)) {}

LoopbackXpc::~LoopbackXpc() {
    std::vector<std::shared_ptr<Pipe>> pipes;
    {
        std::lock_guard lock(mutex_);
        for (auto& [name, entry] : services_) {
            for (auto& weak : entry.pipes) {
                if (auto pipe = weak.lock()) pipes.push_back(std::move(pipe));
            }
        }
        services_.clear();
    }
    // The services go now, whether or not the wire is ever run again.
    for (auto& pipe : pipes) {
        pipe->breakLink("the service went away", true, false);
        Pipe::setEvents(pipe->server, {});
    }
}

void LoopbackXpc::registerService(const std::string& name, Service service) {
    std::lock_guard lock(mutex_);
    services_[name].service = std::move(service);
}

void LoopbackXpc::crashService(const std::string& name) {
    std::vector<std::shared_ptr<Pipe>> pipes;
    {
        std::lock_guard lock(mutex_);
        auto found = services_.find(name);
        if (found == services_.end()) return;
        for (auto& weak : found->second.pipes) {
            if (auto pipe = weak.lock()) pipes.push_back(std::move(pipe));
        }
        found->second.pipes.clear();
    }
    for (auto& pipe : pipes) pipe->breakLink("the service went away", true, true);
}

int LoopbackXpc::connectionsOpened(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = services_.find(name);
    return found == services_.end() ? 0 : found->second.opened;
}

std::variant<std::shared_ptr<LoopbackXpc::Pipe>, std::string> LoopbackXpc::link(
    const std::string& name) {
    Service service;
    {
        std::lock_guard lock(mutex_);
        auto found = services_.find(name);
        if (found == services_.end() || !found->second.service.accept) {
            return std::string("failed at lookup: no service named ") + name;
        }
        service = found->second.service;
    }
    auto pipe = std::make_shared<Pipe>(dispatch_->makeSerialQueue(name + ".wire"));
    const std::weak_ptr<Pipe> weak = pipe;
    auto serve = std::make_shared<Receive>(service.accept([weak](const json& message) {
        auto pipe = weak.lock();
        return pipe && pipe->send(false, message);
    }));
    Pipe::setEvents(pipe->server,
                    {[serve, queue = dispatch_->makeSerialQueue(name + ".service")](json message) {
                         queue->async([serve, message = std::move(message)] { (*serve)(message); });
                     },
                     {}});
    std::lock_guard lock(mutex_);
    auto& entry = services_[name];
    ++entry.opened;
    entry.pipes.push_back(pipe);
    return pipe;
}

std::shared_ptr<XpcConnection> LoopbackXpc::connectToMachService(const std::string& name,
                                                                 unsigned) {
    return std::make_shared<XpcEndpoint>(name, std::make_unique<PipeEnd>(weak_from_this(), name),
                                         dispatch_->makeSerialQueue(name + ".connection"));
}

}  // namespace platform::testing
