#pragma once

#include <atomic>
#include <filesystem>

#include "platform/distributed_notifications.h"

namespace platform::linux_impl {

// Each observer binds a datagram socket in one folder of the user's runtime directory (mode
// 0700, so no other user reaches it); a post sends one datagram, {"name", "object"} as JSON, to
// every socket there, and removes sockets whose observer is gone.
class SocketNotificationCenter : public DistributedNotificationCenter {
public:
    explicit SocketNotificationCenter(const std::filesystem::path& runtimeDir);

    void post(const std::string& name, const std::string& object) override;
    std::unique_ptr<Observation> addObserver(const std::string& name, const std::string& object,
                                             std::function<void()> handler) override;

private:
    std::filesystem::path folder_;
    std::atomic<unsigned> nextObserver_{0};
};

}  // namespace platform::linux_impl
