#include "platform/testing/recording_service_state_watcher.h"

namespace platform::testing {

class RecordingServiceStateWatcher::Token : public Watch {
public:
    Token(RecordingServiceStateWatcher& watcher, std::shared_ptr<std::function<void()>> changed)
        : watcher_(watcher), changed_(std::move(changed)) {}
    ~Token() override {
        std::lock_guard lock(watcher_.mutex_);
        std::erase_if(watcher_.entries_,
                      [&](const Entry& entry) { return entry.changed == changed_; });
    }

private:
    RecordingServiceStateWatcher& watcher_;
    std::shared_ptr<std::function<void()>> changed_;
};

std::unique_ptr<ServiceStateWatcher::Watch> RecordingServiceStateWatcher::watch(
    const std::string& label, std::function<void()> changed) {
    auto shared = std::make_shared<std::function<void()>>(std::move(changed));
    std::lock_guard lock(mutex_);
    entries_.push_back({label, shared});
    return std::make_unique<Token>(*this, shared);
}

std::vector<std::string> RecordingServiceStateWatcher::watched() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> labels;
    for (const auto& entry : entries_) labels.push_back(entry.label);
    return labels;
}

void RecordingServiceStateWatcher::change(const std::string& label) {
    std::vector<std::shared_ptr<std::function<void()>>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry.label == label) matching.push_back(entry.changed);
        }
    }
    for (const auto& changed : matching) (*changed)();
}

}  // namespace platform::testing
