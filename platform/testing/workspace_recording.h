#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/workspace.h"

namespace platform::testing {

class RecordingWorkspace : public Workspace {
public:
    bool openURL(const std::string& url) override;
    std::vector<std::string> openedURLs() const;
    // What openURL answers.
    void setAnswer(bool answer);

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
    bool answer_ = true;
};

}  // namespace platform::testing
