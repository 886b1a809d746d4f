#include "platform/linux/xdg_workspace.h"

#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "platform/linux/curl_url.h"
#include "platform/linux/running_applications.h"

namespace platform::linux_impl {
namespace {

bool isAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

std::optional<std::string> findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        if (::access(name.c_str(), X_OK) == 0) return name;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!isAbsolutePath(dir)) continue;
        std::string candidate = dir;
        candidate.append("/").append(name);
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

XdgWorkspace::XdgWorkspace(std::shared_ptr<ProcessRunner> processes,
                           std::optional<std::filesystem::path> runtimeDir, Programs programs)
    : processes_(std::move(processes)),
      runtimeDir_(std::move(runtimeDir)),
      programs_(std::move(programs)) {}

bool XdgWorkspace::start(const std::optional<Command>& command) {
    if (!command) return false;
    return !processes_->start(command->executable, command->arguments).startError;
}

bool XdgWorkspace::openURL(const std::string& url) {
    if (!isWebURL(url)) return false;
    auto opener = findProgram(programs_.opener);
    if (!opener) return false;
    return start(Command{*opener, {url}});
}

std::optional<Command> XdgWorkspace::commandToOpenFile(const std::string& file,
                                                       const std::string& application) const {
    if (!isAbsolutePath(file)) return std::nullopt;
    auto terminal = findProgram(programs_.terminal);
    if (!terminal) return std::nullopt;
    const std::string title = std::filesystem::path(file).filename().string();
    if (application == "Console") {
        auto pager = findProgram(programs_.pager);
        if (!pager) return std::nullopt;
        // The pager's own shell escapes and input preprocessor are off: it only reads.
        return Command{*terminal,
                       {"-T", title, "-e", "/usr/bin/env", "LESSSECURE=1", *pager, "--no-lessopen",
                        "+F", "--", file}};
    }
    if (application == "Terminal") {
        return Command{*terminal, {"-T", title, "-e", "/bin/sh", file}};
    }
    return std::nullopt;
}

bool XdgWorkspace::openFile(const std::string& file, const std::string& application) {
    return start(commandToOpenFile(file, application));
}

bool XdgWorkspace::selectFile(const std::string& file, const std::string& rootPath) {
    // A file manager opens folders; with a file, its folder is shown.
    const std::string folder =
        file.empty() ? rootPath : std::filesystem::path(file).parent_path().string();
    if (!isAbsolutePath(folder)) return false;
    auto opener = findProgram(programs_.opener);
    if (!opener) return false;
    return start(Command{*opener, {folder}});
}

std::vector<RunningApplication> XdgWorkspace::runningApplications() const {
    if (!runtimeDir_) return {};
    return runningApplicationsIn(*runtimeDir_);
}

std::optional<std::string> XdgWorkspace::launchApplication(const std::string& path) {
    if (!isAbsolutePath(path)) return "the path is not absolute";
    // Starting a folder fails as "Permission denied", which would send a person looking at modes.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return "it is a folder";
    return processes_->start(path, {}).startError;
}

}  // namespace platform::linux_impl
