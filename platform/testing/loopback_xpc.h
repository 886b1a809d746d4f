#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

#include "platform/dispatch.h"
#include "platform/xpc_connection.h"

namespace platform::testing {

// Services inside the test's process, reached by name through the connector seam. The client's
// end is the real connection end; a service gets each message as its server would read it off
// a socket and answers in kind, so a service made of the helper's dispatcher is the server that
// ships. Messages travel as JSON text on a serial "<name>.wire" queue of the given dispatch and
// reach the service on "<name>.service", so with virtual time nothing moves until the test lets
// time pass. Make it with std::make_shared.
class LoopbackXpc : public XpcConnector, public std::enable_shared_from_this<LoopbackXpc> {
public:
    // Sends one message to the client; false once the link is gone.
    using Send = std::function<bool(const nlohmann::json&)>;
    using Receive = std::function<void(const nlohmann::json&)>;
    struct Service {
        // What serves one link, given how to answer its client; released when the link ends.
        std::function<Receive(Send send)> accept;
    };

    explicit LoopbackXpc(std::shared_ptr<Dispatch> dispatch);
    ~LoopbackXpc() override;

    void registerService(const std::string& name, Service service);
    // As if the service's process died: every live link of it ends.
    void crashService(const std::string& name);
    // Links opened to the service so far.
    int connectionsOpened(const std::string& name) const;

    std::shared_ptr<XpcConnection> connectToMachService(const std::string& name,
                                                        unsigned options) override;

    struct Pipe;
    // Opens a link to a registered service; used by the client channels.
    std::variant<std::shared_ptr<Pipe>, std::string> link(const std::string& name);

private:
    struct Registered {
        Service service;
        int opened = 0;
        std::vector<std::weak_ptr<Pipe>> pipes;
    };

    std::shared_ptr<Dispatch> dispatch_;
    mutable std::mutex mutex_;
    std::map<std::string, Registered> services_;
};

}  // namespace platform::testing
