#include "launcher/launcher_delegate.h"

#include <algorithm>
#include <vector>

#include "platform/distributed_notifications.h"
#include "platform/registry.h"
#include "platform/workspace.h"

namespace launcher {

std::optional<std::filesystem::path> applicationExecutablePath(
    const std::filesystem::path& launcherBundle) {
    // Components as a person reads them: a trailing "/" adds none.
    std::vector<std::filesystem::path> components;
    for (const auto& component : launcherBundle) {
        if (!component.empty()) components.push_back(component);
    }
    if (components.size() <= 3 || !launcherBundle.is_absolute()) return std::nullopt;
    components.resize(components.size() - 3);
    std::filesystem::path path;
    for (const auto& component : components) path /= component;
    return path / "MacOS" / "orvane Storage Gateway";
}

void AppDelegate::terminate() { application_.terminate(); }

void AppDelegate::applicationDidFinishLaunching() {
    const auto running = platform::workspace().runningApplications();
    if (std::any_of(running.begin(), running.end(), [](const platform::RunningApplication& app) {
            return app.bundleIdentifier == kApplicationBundleIdentifier;
        })) {
        terminate();
        return;
    }
    std::unique_ptr<platform::DistributedNotificationCenter::Observation> observation;
    if (platform::services().notifications) {
        observation = platform::notifications().addObserver(
            kKillLauncher, kApplicationBundleIdentifier, [this] { terminate(); });
    }
    const auto executable = applicationExecutablePath(platform::mainBundle().bundlePath());
    if (!executable) {
        platform::log("QORLauncher is not inside an application bundle: " +
                      platform::mainBundle().bundlePath().string());
        terminate();
        return;
    }
    // The path is data: the line is never a format.
    platform::log("Starting QOR at " + executable->string());
    if (const auto failure = platform::workspace().launchApplication(executable->string())) {
        platform::log("Could not start QOR at " + executable->string() + ": " + *failure);
    }
    terminate();
}

}  // namespace launcher
