#include "platform/testing/workspace_recording.h"

namespace platform::testing {

bool RecordingWorkspace::openURL(const std::string& url) {
    std::lock_guard lock(mutex_);
    opened_.push_back(url);
    return answer_;
}

std::optional<Command> RecordingWorkspace::commandToOpenFile(const std::string& file,
                                                             const std::string& application) const {
    return Command{"/usr/bin/open", {"-a", application, file}};
}

bool RecordingWorkspace::openFile(const std::string& file, const std::string& application) {
    std::lock_guard lock(mutex_);
    openedFiles_.push_back({file, application});
    return true;
}

bool RecordingWorkspace::selectFile(const std::string& file, const std::string& rootPath) {
    std::lock_guard lock(mutex_);
    selected_.emplace_back(file, rootPath);
    return true;
}

std::vector<RunningApplication> RecordingWorkspace::runningApplications() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::optional<std::string> RecordingWorkspace::launchApplication(const std::string& path) {
    if (onLaunch) onLaunch(path);
    return std::nullopt;
}

std::vector<std::string> RecordingWorkspace::openedURLs() const {
    std::lock_guard lock(mutex_);
    return opened_;
}

std::vector<RecordingWorkspace::FileRequest> RecordingWorkspace::openedFiles() const {
    std::lock_guard lock(mutex_);
    return openedFiles_;
}

std::vector<std::pair<std::string, std::string>> RecordingWorkspace::selectedFiles() const {
    std::lock_guard lock(mutex_);
    return selected_;
}

void RecordingWorkspace::setAnswer(bool answer) {
    std::lock_guard lock(mutex_);
    answer_ = answer;
}

void RecordingWorkspace::setRunningApplications(std::vector<RunningApplication> running) {
    std::lock_guard lock(mutex_);
    running_ = std::move(running);
}

}  // namespace platform::testing
