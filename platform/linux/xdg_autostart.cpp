#include "platform/linux/xdg_autostart.h"

#include <optional>

#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_file_system.h"
#include "platform/outside_text.h"
#include "platform/registry.h"

namespace platform::linux_impl {
namespace {

// A string value of a desktop entry: these escapes are undone before anything else.
std::string escapeStringValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

struct LoginItem {
    std::string name;
    std::filesystem::path executable;
};

std::optional<LoginItem> findLoginItem(const std::filesystem::path& bundlePath,
                                       const std::string& identifier) {
    std::error_code ec;
    const auto folder = bundlePath / "Contents" / "Library" / "LoginItems";
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const PlistBundle item(entry.path());
        if (item.infoString("CFBundleIdentifier") != identifier) continue;
        auto executable = item.infoString("CFBundleExecutable");
        if (!executable || executable->find('/') != std::string::npos) continue;
        return LoginItem{item.infoString("CFBundleName").value_or(identifier),
                         entry.path() / "Contents" / "MacOS" / *executable};
    }
    return std::nullopt;
}

}  // namespace

std::string desktopExecArgument(const std::string& argument) {
    // Inside double quotes, these four are escaped with a backslash. ("%" would start a field
    // code; setEnabled refuses paths that hold one.)
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return escapeStringValue(quoted);
}

XdgAutostart::XdgAutostart(std::filesystem::path bundlePath, std::filesystem::path autostartFolder)
    : bundlePath_(std::move(bundlePath)), folder_(std::move(autostartFolder)) {}

bool XdgAutostart::setEnabled(const std::string& identifier, bool enabled) const {
    if (identifier.empty() || identifier.find('/') != std::string::npos) return false;
    const auto entry = folder_ / (identifier + ".desktop");
    if (!enabled) {
        std::error_code ec;
        std::filesystem::remove(entry, ec);
        return !ec;
    }
    auto item = findLoginItem(bundlePath_, identifier);
    if (!item) return false;
    // What a person sees in the desktop's list of startup programs is the app, not its launcher.
    const PlistBundle app(bundlePath_);
    const std::string name = app.infoString("CFBundleName").value_or(item->name);
    const auto icon = app.infoString("CFBundleIdentifier");
    // An entry that the session would refuse or misread does nothing, silently: say so instead.
    const std::string path = item->executable.string();
    if (needsEscaping(path) || needsEscaping(name) || path.find('%') != std::string::npos) {
        platform::log("Start at boot is not set up: the path " + escapedText(path) +
                      " holds a control character or \"%\", which an autostart entry cannot "
                      "carry. Move the application to a folder whose path has neither.");
        return false;
    }
    std::string contents = "[Desktop Entry]\nType=Application\nName=" + escapeStringValue(name) +
                           "\nComment=" + escapeStringValue("Starts " + name + " at login") +
                           "\nExec=" + desktopExecArgument(item->executable.string()) + "\n";
    if (icon && !needsEscaping(*icon)) contents += "Icon=" + escapeStringValue(*icon) + "\n";
    contents += "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    PosixFileSystem files;
    return !files.createDirectories(folder_) && !files.replaceFile(entry, contents);
}

}  // namespace platform::linux_impl
