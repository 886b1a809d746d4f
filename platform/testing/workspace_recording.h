#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/workspace.h"

namespace platform::testing {

class RecordingWorkspace : public Workspace {
public:
    struct FileRequest {
        std::string file;
        std::string application;
        bool operator==(const FileRequest&) const = default;
    };

    bool openURL(const std::string& url) override;
    // "/usr/bin/open -a <application> <file>", so tests see what would be started.
    std::optional<Command> commandToOpenFile(const std::string& file,
                                             const std::string& application) const override;
    bool openFile(const std::string& file, const std::string& application) override;
    bool selectFile(const std::string& file, const std::string& rootPath) override;
    std::vector<RunningApplication> runningApplications() const override;
    std::optional<std::string> launchApplication(const std::string& path) override;

    std::vector<std::string> openedURLs() const;
    std::vector<FileRequest> openedFiles() const;
    // (file, root) of each selectFile.
    std::vector<std::pair<std::string, std::string>> selectedFiles() const;
    // What openURL answers.
    void setAnswer(bool answer);
    void setRunningApplications(std::vector<RunningApplication> running);
    // Runs inside launchApplication, before it answers.
    std::function<void(const std::string& path)> onLaunch;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
    std::vector<FileRequest> openedFiles_;
    std::vector<std::pair<std::string, std::string>> selected_;
    std::vector<RunningApplication> running_;
    bool answer_ = true;
};

}  // namespace platform::testing
