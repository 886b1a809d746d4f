#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/testing/locked.h"
#include "platform/workspace.h"

namespace platform::testing {

class RecordingWorkspace : public Workspace {
public:
    struct FileRequest {
        std::string file;
        std::string application;
        bool operator==(const FileRequest&) const = default;
    };

    bool openURL(const std::string& url) override {
        opened_.push(url);
        return answer_.get();
    }
    // "/usr/bin/open -a <application> <file>", so tests see what would be started.
    std::optional<Command> commandToOpenFile(const std::string& file,
                                             const std::string& application) const override {
        return Command{"/usr/bin/open", {"-a", application, file}};
    }
    bool openFile(const std::string& file, const std::string& application) override {
        openedFiles_.push(FileRequest{file, application});
        return true;
    }
    bool selectFile(const std::string& file, const std::string& rootPath) override {
        selected_.push(std::pair(file, rootPath));
        return true;
    }
    std::vector<RunningApplication> runningApplications() const override { return running_.get(); }
    std::optional<std::string> launchApplication(const std::string& path) override {
        if (onLaunch) onLaunch(path);
        return std::nullopt;
    }

    std::vector<std::string> openedURLs() const { return opened_.get(); }
    std::vector<FileRequest> openedFiles() const { return openedFiles_.get(); }
    // (file, root) of each selectFile.
    std::vector<std::pair<std::string, std::string>> selectedFiles() const {
        return selected_.get();
    }
    // What openURL answers.
    void setAnswer(bool answer) { answer_.set(answer); }
    void setRunningApplications(std::vector<RunningApplication> running) {
        running_.set(std::move(running));
    }
    // Runs inside launchApplication, before it answers.
    std::function<void(const std::string& path)> onLaunch;

private:
    Locked<std::vector<std::string>> opened_;
    Locked<std::vector<FileRequest>> openedFiles_;
    Locked<std::vector<std::pair<std::string, std::string>>> selected_;
    Locked<std::vector<RunningApplication>> running_;
    Locked<bool> answer_{true};
};

// Main thread only, as the clipboard is.
class RecordingClipboard : public Clipboard {
public:
    void setText(const std::string& text) override { texts.push_back(text); }
    // Every text put on the clipboard, oldest first.
    std::vector<std::string> texts;
};

}  // namespace platform::testing
