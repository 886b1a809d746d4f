#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "helper_interface/helper_connection.h"

// What a refusal is about: a flood of one kind from a user must not hide their other lines.
enum class HelperRefusal { Connection, Frame, Call, Subcommand, Request, Failure };

// One client's calls once they are read off its link, whatever carries them (the helper's socket,
// or a pipe inside a test): each is checked against HelperProtocol, handed to the client's
// handler, and gets exactly one answer. Handlers may answer later and from any thread.
class HelperDispatcher {
public:
    // Sends one message to the client; false when it was not sent.
    using Send = std::function<bool(const nlohmann::json&)>;
    using Refused = std::function<void(HelperRefusal, const std::string& line)>;
    // Makes the client's handler; `client` reaches the client's AppProtocol, one way.
    using MakeHandler = std::function<std::shared_ptr<HelperProtocolHandler>(
        std::shared_ptr<AppProtocolHandler> client)>;

    HelperDispatcher(uid_t uid, Send send, Refused refused, const MakeHandler& makeHandler);
    // No answer leaves once this returns: one given later reaches nobody.
    ~HelperDispatcher();
    HelperDispatcher(const HelperDispatcher&) = delete;
    HelperDispatcher& operator=(const HelperDispatcher&) = delete;

    // One message the client sent, in order.
    void received(const nlohmann::json& message);

    struct Outlet;

private:
    std::shared_ptr<Outlet> outlet_;
    std::shared_ptr<HelperProtocolHandler> handler_;
};
