#pragma once

#include <filesystem>
#include <string>

namespace platform::linux_impl {

// Login items as XDG autostart entries: "<autostart folder>/<identifier>.desktop" starts the
// login item of that identifier found in the bundle's Contents/Library/LoginItems.
class XdgAutostart {
public:
    XdgAutostart(std::filesystem::path bundlePath, std::filesystem::path autostartFolder);

    // Writes (atomically) or removes the entry; false when the login item is not in the bundle
    // or the file cannot be written or removed.
    bool setEnabled(const std::string& identifier, bool enabled) const;

private:
    std::filesystem::path bundlePath_;
    std::filesystem::path folder_;
};

// One argument of an Exec key, quoted and escaped so that it reaches the program unchanged.
std::string desktopExecArgument(const std::string& argument);

}  // namespace platform::linux_impl
