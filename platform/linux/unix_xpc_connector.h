#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/dispatch.h"
#include "platform/linux/xpc_endpoint.h"
#include "platform/system_paths.h"
#include "platform/xpc_connection.h"

namespace platform::linux_impl {

// Where a service listens: "/var/run/<name>.socket" under the system root. Empty for a name
// that could step out of that folder.
std::filesystem::path xpcServiceSocket(const SystemPaths& paths, std::string_view service);

// The users trusted on a privileged link: root, and the system root's owner when the root is a
// sandbox; an unprivileged client also trusts its own user. The helper accepts the same clients.
std::set<uid_t> trustedServiceUsers(const SystemPaths& paths, bool privileged);

// A client's link over a Unix stream socket; the server's credentials are checked before the
// first message goes out. One reader thread per link.
class UnixSocketChannel : public XpcChannel {
public:
    UnixSocketChannel(std::filesystem::path socket, std::set<uid_t> trustedUsers);
    ~UnixSocketChannel() override;
    UnixSocketChannel(const UnixSocketChannel&) = delete;
    UnixSocketChannel& operator=(const UnixSocketChannel&) = delete;

    std::optional<std::string> open(Events events) override;
    bool send(const nlohmann::json& message) override;
    void close() override;

private:
    const std::filesystem::path socket_;
    const std::set<uid_t> trusted_;
    // Shut down without the lock, so that a blocked send never delays close().
    std::atomic<int> fd_{-1};
    std::mutex writeMutex_;
    std::thread reader_;
};

class UnixXpcConnector : public XpcConnector {
public:
    UnixXpcConnector(std::shared_ptr<SystemPaths> paths, std::shared_ptr<Dispatch> dispatch)
        : paths_(std::move(paths)), dispatch_(std::move(dispatch)) {}
    std::shared_ptr<XpcConnection> connectToMachService(const std::string& name,
                                                        unsigned options) override;

private:
    std::shared_ptr<SystemPaths> paths_;
    std::shared_ptr<Dispatch> dispatch_;
};

}  // namespace platform::linux_impl
