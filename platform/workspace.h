#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// A program and its arguments, as the process runner starts them.
struct Command {
    std::string executable;
    std::vector<std::string> arguments;
};

struct RunningApplication {
    std::string bundleIdentifier;
};

// The desktop around the application.
class Workspace {
public:
    Workspace() = default;
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    virtual ~Workspace() = default;
    // Asks the desktop to open the URL in the default browser; true when the request was made.
    virtual bool openURL(const std::string& url) = 0;
    // What opens `file` with the named application: "Console" shows a text or log file for
    // reading, "Terminal" runs a script in a new terminal window. Absent when the desktop has
    // no such application or the file cannot be handed to it.
    virtual std::optional<Command> commandToOpenFile(const std::string& file,
                                                     const std::string& application) const = 0;
    // Starts that command without waiting; true when it started.
    virtual bool openFile(const std::string& file, const std::string& application) = 0;
    // Opens a file manager window rooted at the folder `rootPath`, with `file` selected when it
    // is not empty; true when the request was made.
    virtual bool selectFile(const std::string& file, const std::string& rootPath) = 0;
    // The applications that run now, each once however many instances it has.
    virtual std::vector<RunningApplication> runningApplications() const = 0;
    // Starts the application executable at `path` without waiting. Absent when it started,
    // otherwise why it did not, for the log.
    virtual std::optional<std::string> launchApplication(const std::string& path) = 0;
};

}  // namespace platform
