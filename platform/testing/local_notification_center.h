#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/distributed_notifications.h"
#include "platform/testing/callbacks.h"

namespace platform::testing {

// Within one process: a post reaches the matching observers at once, on the posting thread,
// and is recorded.
class LocalNotificationCenter : public DistributedNotificationCenter {
public:
    using Posted = std::pair<std::string, std::string>;  // (name, object)

    void post(const std::string& name, const std::string& object) override {
        {
            std::lock_guard lock(mutex_);
            posted_.emplace_back(name, object);
        }
        observers_.call({name, object});
    }
    std::unique_ptr<Observation> addObserver(const std::string& name, const std::string& object,
                                             std::function<void()> handler) override {
        return observers_.add({name, object}, std::move(handler));
    }
    std::vector<Posted> posted() const {
        std::lock_guard lock(mutex_);
        return posted_;
    }

private:
    Callbacks<Observation, Posted> observers_;
    mutable std::mutex mutex_;
    std::vector<Posted> posted_;
};

}  // namespace platform::testing
