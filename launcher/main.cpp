// QORLauncher: no windows and no event loop; it runs the launch procedure once and exits.
#include <atomic>

#include "launcher/launcher_delegate.h"
#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/running_applications.h"
#include "platform/linux/socket_notification_center.h"
#include "platform/linux/system_log.h"
#include "platform/linux/xdg_dirs.h"
#include "platform/linux/xdg_workspace.h"
#include "platform/registry.h"

namespace {

// The shared application of a program without windows: quitting is all it does.
class WindowlessApplication : public platform::SharedApplication {
public:
    platform::ActivationPolicy activationPolicy() const override {
        return platform::ActivationPolicy::Accessory;
    }
    void setActivationPolicy(platform::ActivationPolicy) override {}
    void activateIgnoringOtherApps() override {}
    void terminate() override { terminated_ = true; }
    void orderFrontStandardAboutPanel() override {}
    // The launcher's delegate is not an application delegate of the menu-bar kind.
    platform::ApplicationDelegate* delegate() const override { return nullptr; }

private:
    std::atomic<bool> terminated_{false};
};

}  // namespace

int main() {
    namespace linux_impl = platform::linux_impl;
    auto bundle =
        std::make_shared<linux_impl::PlistBundle>(linux_impl::PlistBundle::ofRunningExecutable());
    const auto runtimeDir = linux_impl::xdgRuntimeDir();
    std::unique_ptr<linux_impl::InstanceLock> instanceLock;
    if (runtimeDir) {
        instanceLock = linux_impl::InstanceLock::acquire(
            *runtimeDir, bundle->infoString("CFBundleIdentifier").value_or("QORLauncher"));
    }

    platform::Services services;
    services.log = std::make_shared<linux_impl::SystemLog>(
        bundle->infoString("CFBundleExecutable").value_or("QORLauncher"));
    services.mainBundle = bundle;
    auto processes = std::make_shared<linux_impl::PosixProcessRunner>();
    services.processes = processes;
    services.workspace = std::make_shared<linux_impl::XdgWorkspace>(processes, runtimeDir);
    if (runtimeDir) {
        services.notifications =
            std::make_shared<linux_impl::SocketNotificationCenter>(*runtimeDir);
    }
    platform::installServices(services);

    WindowlessApplication application;
    launcher::AppDelegate delegate(application);
    delegate.applicationDidFinishLaunching();

    platform::installServices({});
    return 0;
}
