#include "platform/linux/xdg_workspace.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "platform/linux/curl_url.h"
#include "platform/linux/running_applications.h"
#include "platform/linux/xdg_dirs.h"
#include "platform/opener_watch.h"

namespace platform::linux_impl {
namespace {

bool isAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

enum class Session { any, x11, wayland };

// A terminal and how it is given the window's title and then the command it runs (some take the
// command's words as they come, with no option before them).
struct KnownTerminal {
    const char* name;
    Session session;
    const char* titleOption;
    const char* titlePrefix;
    const char* commandOption;  // empty: none

    std::vector<std::string> arguments(const std::string& title) const {
        std::vector<std::string> args{titleOption, titlePrefix + title};
        if (*commandOption) args.emplace_back(commandOption);
        return args;
    }
};

const KnownTerminal kKnownTerminals[] = {
    {"foot", Session::wayland, "-T", "", ""},
    {"alacritty", Session::any, "-T", "", "-e"},
    {"kitty", Session::any, "-T", "", ""},
    {"gnome-terminal", Session::any, "--title", "", "--"},
    {"konsole", Session::any, "-p", "tabtitle=", "-e"},
    {"xfce4-terminal", Session::any, "-T", "", "-x"},
    {"xterm", Session::x11, "-T", "", "-e"},
};

bool worksHere(Session session) {
    switch (session) {
        case Session::x11: return environmentHas("DISPLAY");
        case Session::wayland: return environmentHas("WAYLAND_DISPLAY");
        case Session::any: return environmentHas("DISPLAY") || environmentHas("WAYLAND_DISPLAY");
    }
    return false;
}

// What the Debian alternative stands for, by the name of the program it leads to: the X11-only
// terminals there (xterm and its relatives, the rxvt family) fail without DISPLAY.
Session sessionOfAlternative(const std::string& path) {
    std::error_code ec;
    const std::string name = std::filesystem::canonical(path, ec).filename().string();
    for (const auto& known : kKnownTerminals) {
        if (name == known.name) return known.session;
    }
    for (const char* x11 : {"xterm", "uxterm", "lxterm", "koi8rxterm", "rxvt", "urxvt"}) {
        if (name.starts_with(x11)) return Session::x11;
    }
    return Session::any;
}

// A file: URI with every byte but the unreserved ones and "/" escaped.
std::string fileUri(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

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
                           std::optional<std::filesystem::path> runtimeDir, Programs programs,
                           ShowFolder showFolder)
    : processes_(std::move(processes)),
      runtimeDir_(std::move(runtimeDir)),
      programs_(std::move(programs)),
      showFolder_(std::move(showFolder)) {}

std::optional<Command> XdgWorkspace::terminalCommand(const std::string& title) const {
    if (!programs_.terminal.empty()) {
        auto terminal = findProgram(programs_.terminal);
        if (!terminal) return std::nullopt;
        return Command{*terminal, {"-T", title, "-e"}};
    }
    if (auto declared = findProgram("xdg-terminal-exec"); declared && worksHere(Session::any)) {
        return Command{*declared, {}};
    }
    if (auto alternative = findProgram("x-terminal-emulator");
        alternative && worksHere(sessionOfAlternative(*alternative))) {
        return Command{*alternative, {"-T", title, "-e"}};
    }
    for (const auto& known : kKnownTerminals) {
        auto path = findProgram(known.name);
        if (path && worksHere(known.session)) return Command{*path, known.arguments(title)};
    }
    return std::nullopt;
}

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
    if (!isAbsolutePath(file) || (application != "Console" && application != "Terminal"))
        return std::nullopt;
    auto command = terminalCommand(std::filesystem::path(file).filename().string());
    if (!command) return std::nullopt;
    auto& arguments = command->arguments;
    if (application == "Console") {
        auto pager = findProgram(programs_.pager);
        if (!pager) return std::nullopt;
        // The pager's own shell escapes and input preprocessor are off: it only reads.
        arguments.insert(arguments.end(), {"/usr/bin/env", "LESSSECURE=1", *pager, "--no-lessopen",
                                           "+F", "--", file});
    } else {
        arguments.insert(arguments.end(), {"/bin/sh", file});
    }
    return command;
}

bool XdgWorkspace::openFile(const std::string& file, const std::string& application) {
    const auto command = commandToOpenFile(file, application);
    if (!command) {
        if (!isAbsolutePath(file)) {
            reportOpenFailure(
                {kCouldNotOpen, file},
                {QT_TRANSLATE_NOOP("Alert",
                                   "Only a file named by its absolute path can be opened.")});
        } else if (application == "Console" && !findProgram(programs_.pager)) {
            //: %1 is a program.
            const AlertText why{QT_TRANSLATE_NOOP("Alert", "%1 is not installed."),
                                programs_.pager};
            reportOpenFailure({kCouldNotOpen, file}, why);
        } else {
            reportOpenFailure({kCouldNotOpen, file}, {kNoTerminal});
        }
        return false;
    }
    return watchOpener({kCouldNotOpen, file}, command->executable,
                       processes_->start(command->executable, command->arguments));
}

bool XdgWorkspace::selectFile(const std::string& file, const std::string& rootPath) {
    // A file manager opens folders; with a file, its folder is shown.
    const std::string folder =
        file.empty() ? rootPath : std::filesystem::path(file).parent_path().string();
    if (!isAbsolutePath(folder)) return false;
    if (!showFolder_) {
        openFolder(folder);
        return true;
    }
    showFolder_(fileUri(folder), [this, folder](bool shown) {
        if (!shown) openFolder(folder);
    });
    return true;
}

void XdgWorkspace::openFolder(const std::string& folder) {
    auto opener = findProgram(programs_.opener);
    if (!opener) {
        //: %1 is a program.
        const AlertText why{
            QT_TRANSLATE_NOOP("Alert", "No file manager answered, and %1 is not installed."),
            programs_.opener};
        reportOpenFailure({kCouldNotOpen, folder}, why);
        return;
    }
    watchOpener({kCouldNotOpen, folder}, *opener, processes_->start(*opener, {folder}));
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
