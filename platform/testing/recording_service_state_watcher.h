#pragma once

#include <string>
#include <vector>

#include "platform/service_state_watcher.h"
#include "platform/testing/callbacks.h"

namespace platform::testing {

// Keeps the live watches; `change` calls back those of a label at once, on the calling thread,
// standing in for the service manager's own thread.
class RecordingServiceStateWatcher : public ServiceStateWatcher {
public:
    std::unique_ptr<Watch> watch(const std::string& label, std::function<void()> changed) override {
        return watches_.add(label, std::move(changed));
    }
    // The label of every live watch.
    std::vector<std::string> watched() const { return watches_.keys(); }
    void change(const std::string& label) { watches_.call(label); }

private:
    Callbacks<Watch, std::string> watches_;
};

}  // namespace platform::testing
