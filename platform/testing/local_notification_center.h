#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/distributed_notifications.h"
#include "platform/testing/callbacks.h"
#include "platform/testing/locked.h"

namespace platform::testing {

// Within one process: a post reaches the matching observers at once, on the posting thread,
// and is recorded.
class LocalNotificationCenter : public DistributedNotificationCenter {
public:
    using Posted = std::pair<std::string, std::string>;  // (name, object)

    void post(const std::string& name, const std::string& object) override {
        posted_.push(Posted{name, object});
        observers_.call({name, object});
    }
    std::unique_ptr<Observation> addObserver(const std::string& name, const std::string& object,
                                             std::function<void()> handler) override {
        return observers_.add({name, object}, std::move(handler));
    }
    std::vector<Posted> posted() const { return posted_.get(); }

private:
    Callbacks<Observation, Posted> observers_;
    Locked<std::vector<Posted>> posted_;
};

}  // namespace platform::testing
