#pragma once

#include <filesystem>
#include <optional>

#include "platform/application.h"

// The login-item launcher: started by the desktop at login, it starts the menu-bar application
// unless that already runs, and quits in every case.
namespace launcher {

inline constexpr char kApplicationBundleIdentifier[] = "com.velmora.OrvaneStorageGatewayApp";
inline constexpr char kKillLauncher[] = "killLauncher";

class AppDelegate {
public:
    explicit AppDelegate(platform::SharedApplication& application) : application_(application) {}

    // Quits the launcher; from any thread.
    void terminate();
    // The launch procedure.
    void applicationDidFinishLaunching();

private:
    platform::SharedApplication& application_;
};

// The enclosing application's executable: three components up from the launcher's bundle
// (Contents/Library/LoginItems/<launcher>.app), then "MacOS" and "orvane Storage Gateway".
// Absent for a launcher that does not sit that deep.
std::optional<std::filesystem::path> applicationExecutablePath(
    const std::filesystem::path& launcherBundle);

}  // namespace launcher
