#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/dispatch.h"
#include "platform/xpc_connection.h"

namespace platform::testing {

// Services inside the test's process, reached by name through the connector seam. Both ends
// are the real connection ends, so every message is checked as on a socket; messages travel as
// JSON text on a serial "<name>.wire" queue of the given dispatch, so with virtual time nothing
// moves until the test lets time pass. Make it with std::make_shared.
class LoopbackXpc : public XpcConnector, public std::enable_shared_from_this<LoopbackXpc> {
public:
    struct Service {
        const ProtocolDescription* exported = nullptr;
        // What the service may call on its clients; may be null.
        const ProtocolDescription* remote = nullptr;
        // The object that serves one client; `client` reaches that client's exported object.
        std::function<std::shared_ptr<XpcExportedObject>(std::shared_ptr<XpcRemoteProxy> client)>
            accept;
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
        std::vector<std::shared_ptr<XpcConnection>> serverEnds;
    };

    std::shared_ptr<Dispatch> dispatch_;
    mutable std::mutex mutex_;
    std::map<std::string, Registered> services_;
};

}  // namespace platform::testing
