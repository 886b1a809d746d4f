#pragma once

#include <filesystem>
#include <functional>
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
        // A terminal that takes "-T <title> -e <command...>"; empty: the session's own, as
        // `terminalCommand` finds it.
        std::string terminal;
        std::string pager = "less";
    };
    // Asks the desktop's file manager to show a folder (a file: URI) and says, on the main
    // thread, whether it did. Empty: there is none to ask.
    using ShowFolder =
        std::function<void(const std::string& uri, std::function<void(bool shown)> done)>;

    XdgWorkspace(std::shared_ptr<ProcessRunner> processes,
                 std::optional<std::filesystem::path> runtimeDir, Programs programs,
                 ShowFolder showFolder = {});
    XdgWorkspace(std::shared_ptr<ProcessRunner> processes,
                 std::optional<std::filesystem::path> runtimeDir)
        : XdgWorkspace(std::move(processes), std::move(runtimeDir), Programs()) {}

    // The arguments that open a terminal window titled `title` running a command that follows
    // them: the desktop's declared terminal (xdg-terminal-exec), else Debian's choice
    // (x-terminal-emulator), else the first of a few known ones; each only where it works in the
    // session (an X11-only one needs DISPLAY, a Wayland-only one WAYLAND_DISPLAY). Absent when
    // there is none.
    std::optional<Command> terminalCommand(const std::string& title) const;

    // Only absolute http and https URLs are handed on: anything else could be read by the
    // opener as a local file or, starting with "-", as one of its options.
    bool openURL(const std::string& url) override;
    // "Console" is a terminal window with a pager that follows the file: the file is only ever
    // read, whatever its type, and never handed to a handler chosen by that type. "Terminal"
    // runs a script with /bin/sh in a new terminal window. Only absolute paths are taken.
    std::optional<Command> commandToOpenFile(const std::string& file,
                                             const std::string& application) const override;
    bool openFile(const std::string& file, const std::string& application) override;
    // The desktop's file manager on the folder: asked over D-Bus where one answers, else
    // through the opener. A failure is reported to the person (`watchOpener`), and so is a
    // file that could not be opened.
    bool selectFile(const std::string& file, const std::string& rootPath) override;
    std::vector<RunningApplication> runningApplications() const override;
    std::optional<std::string> launchApplication(const std::string& path) override;

private:
    bool start(const std::optional<Command>& command);
    void openFolder(const std::string& folder);

    std::shared_ptr<ProcessRunner> processes_;
    std::optional<std::filesystem::path> runtimeDir_;
    Programs programs_;
    ShowFolder showFolder_;
};

// The program's absolute path: a name is looked up in $PATH; absent when not found.
std::optional<std::string> findProgram(const std::string& name);

}  // namespace platform::linux_impl
