#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// Tells when a job of the system's service manager changes state, so that what shows the job's
// state can follow at once instead of at its next poll.
class ServiceStateWatcher {
public:
    // Watching lasts as long as this object; once its destructor has returned, its callback is
    // never called again. Watches go before their watcher.
    class Watch {
    public:
        Watch() = default;
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;
        virtual ~Watch() = default;
    };

    ServiceStateWatcher() = default;
    ServiceStateWatcher(const ServiceStateWatcher&) = delete;
    ServiceStateWatcher& operator=(const ServiceStateWatcher&) = delete;
    virtual ~ServiceStateWatcher() = default;
    // `changed` runs, on a thread of the watcher's, whenever the job `label` changes state; one
    // change may call it several times. A job that cannot be followed never calls it.
    virtual std::unique_ptr<Watch> watch(const std::string& label,
                                         std::function<void()> changed) = 0;
};

}  // namespace platform
