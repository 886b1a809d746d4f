#include "platform/testing/workspace_recording.h"

namespace platform::testing {

bool RecordingWorkspace::openURL(const std::string& url) {
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
    return answer_;
}

std::vector<std::string> RecordingWorkspace::openedURLs() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

void RecordingWorkspace::setAnswer(bool answer) {
    std::lock_guard lock(mutex_);
    answer_ = answer;
}

}  // namespace platform::testing
