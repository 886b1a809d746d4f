#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/service_state_watcher.h"

namespace platform::testing {

// Keeps the live watches; `change` calls back those of a label at once, on the calling thread,
// standing in for the service manager's own thread.
class RecordingServiceStateWatcher : public ServiceStateWatcher {
public:
    std::unique_ptr<Watch> watch(const std::string& label, std::function<void()> changed) override;
    // The label of every live watch.
    std::vector<std::string> watched() const;
    void change(const std::string& label);

private:
    struct Entry {
        std::string label;
        std::shared_ptr<std::function<void()>> changed;
    };
    class Token;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace platform::testing
