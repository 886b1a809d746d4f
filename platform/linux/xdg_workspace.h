#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/process_runner.h"
#include "platform/workspace.h"

namespace platform::linux_impl {

// The desktop through its conventional programs, started with the process runner. Every path
// or URL is one argument of its own and no shell is involved, so nothing in it is interpreted.
class XdgWorkspace : public Workspace {
public:
    struct Programs {
        std::string opener = "xdg-open";
        std::string terminal = "x-terminal-emulator";
        std::string pager = "less";
    };

    XdgWorkspace(std::shared_ptr<ProcessRunner> processes,
                 std::optional<std::filesystem::path> runtimeDir, Programs programs);
    XdgWorkspace(std::shared_ptr<ProcessRunner> processes,
                 std::optional<std::filesystem::path> runtimeDir)
        : XdgWorkspace(std::move(processes), std::move(runtimeDir), Programs()) {}

    // Only absolute http and https URLs are handed on: anything else could be read by the
    // opener as a local file or, starting with "-", as one of its options.
    bool openURL(const std::string& url) override;
    // "Console" is a terminal window with a pager that follows the file: the file is only ever
    // read, whatever its type, and never handed to a handler chosen by that type. "Terminal"
    // runs a script with /bin/sh in a new terminal window. Only absolute paths are taken.
    std::optional<Command> commandToOpenFile(const std::string& file,
                                             const std::string& application) const override;
    bool openFile(const std::string& file, const std::string& application) override;
    // The desktop's file manager, through the opener, on the folder.
    bool selectFile(const std::string& file, const std::string& rootPath) override;
    std::vector<RunningApplication> runningApplications() const override;
    std::optional<std::string> launchApplication(const std::string& path) override;

private:
    bool start(const std::optional<Command>& command);

    std::shared_ptr<ProcessRunner> processes_;
    std::optional<std::filesystem::path> runtimeDir_;
    Programs programs_;
};

// The program's absolute path: a name is looked up in $PATH; absent when not found.
std::optional<std::string> findProgram(const std::string& name);

}  // namespace platform::linux_impl
