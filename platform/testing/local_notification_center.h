#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/distributed_notifications.h"

namespace platform::testing {

// Within one process: a post reaches the matching observers at once, on the posting thread,
// and is recorded.
class LocalNotificationCenter : public DistributedNotificationCenter {
public:
    void post(const std::string& name, const std::string& object) override;
    std::unique_ptr<Observation> addObserver(const std::string& name, const std::string& object,
                                             std::function<void()> handler) override;
    // (name, object) of every post.
    std::vector<std::pair<std::string, std::string>> posted() const;

private:
    struct Observer {
        std::string name;
        std::string object;
        std::shared_ptr<std::function<void()>> handler;
    };
    class Token;

    mutable std::mutex mutex_;
    std::vector<Observer> observers_;
    std::vector<std::pair<std::string, std::string>> posted_;
};

}  // namespace platform::testing
