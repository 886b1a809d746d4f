#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// Notifications between the user's processes: a name and an object string, nothing else.
class DistributedNotificationCenter {
public:
    // Observing lasts as long as this object.
    class Observation {
    public:
        Observation() = default;
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;
        virtual ~Observation() = default;
    };

    DistributedNotificationCenter() = default;
    DistributedNotificationCenter(const DistributedNotificationCenter&) = delete;
    DistributedNotificationCenter& operator=(const DistributedNotificationCenter&) = delete;
    virtual ~DistributedNotificationCenter() = default;
    // Delivers to every observer of this name and object in any process of the user.
    virtual void post(const std::string& name, const std::string& object) = 0;
    // `handler` runs, on a thread of the center's, for each notification whose name and object
    // both match exactly. Null when observing cannot be set up.
    virtual std::unique_ptr<Observation> addObserver(const std::string& name,
                                                     const std::string& object,
                                                     std::function<void()> handler) = 0;
};

}  // namespace platform
