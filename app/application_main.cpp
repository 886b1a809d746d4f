// The composition root: the one place that knows which implementation stands behind each seam.
#include "app/application_main.h"

#include "app/app_delegate.h"
#include "platform/distributed_notifications.h"
#include "platform/linux/curl_url_session.h"
#include "platform/linux/file_rights_store.h"
#include "platform/linux/host_computer_name.h"
#include "platform/linux/json_user_defaults.h"
#include "platform/linux/kernel_random.h"
#include "platform/linux/linux_service_management.h"
#include "platform/linux/local_clock.h"
#include "platform/linux/plist_bundle.h"
#include "platform/linux/polkit_action_rights.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/running_applications.h"
#include "platform/linux/socket_notification_center.h"
#include "platform/linux/system_log.h"
#include "platform/linux/systemd_state_watcher.h"
#include "platform/linux/unix_xpc_connector.h"
#include "platform/linux/xdg_dirs.h"
#include "platform/linux/xdg_workspace.h"
#include "platform/qt/qt_desktop.h"
#include "platform/registry.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using namespace platform;

// What a second launch tells the first instance before it exits, with the bundle identifier.
constexpr char kReopenNotification[] = "reopenApplication";

// What the delegate is given beside the installed services. Never destroyed either, for the same
// reason: a connection's queue may still be draining, or a notice going out, after Quit.
struct Kept {
    std::shared_ptr<XpcConnector> connector;
    std::shared_ptr<ServiceManagement> serviceManagement;
    std::shared_ptr<ServiceStateWatcher> serviceStates;
    std::shared_ptr<UserNotificationCenter> userNotifications;
};

}  // namespace

int applicationMain(int argc, char** argv) {
    auto bundle =
        std::make_shared<linux_impl::PlistBundle>(linux_impl::PlistBundle::ofRunningExecutable());
    const std::string identifier =
        bundle->infoString("CFBundleIdentifier").value_or("com.velmora.OrvaneStorageGatewayApp");
    const auto runtimeDir = linux_impl::xdgRuntimeDir();
    // One instance per user: a second launch (from the application menu, say) asks the first to
    // show itself and leaves.
    std::unique_ptr<linux_impl::InstanceLock> soleLock;
    if (runtimeDir) {
        auto sole = linux_impl::InstanceLock::acquireSole(*runtimeDir, identifier);
        if (sole.anotherRuns) {
            linux_impl::SocketNotificationCenter(*runtimeDir).post(kReopenNotification, identifier);
            return 0;
        }
        soleLock = std::move(sole.lock);
    }

    // The wizard's controller keeps the computer's name; the desktop's window owns the controller.
    linux_impl::HostComputerName computerName;
    qt::QtDesktop desktop(argc, argv, bundle);
    // Held while the process lives: this is how the desktop knows the application runs.
    std::unique_ptr<linux_impl::InstanceLock> instanceLock;
    if (runtimeDir) instanceLock = linux_impl::InstanceLock::acquire(*runtimeDir, identifier);

    const auto& dispatch = desktop.dispatch();
    Services services;
    services.log = std::make_shared<linux_impl::SystemLog>(
        linux_impl::kApplicationLogIdentifier,
        linux_impl::xdgStateHome() / identifier / "application.log");
    services.dispatch = dispatch;
    auto processes = std::make_shared<linux_impl::PosixProcessRunner>();
    services.processes = processes;
    auto paths = std::make_shared<linux_impl::RootedSystemPaths>(
        linux_impl::RootedSystemPaths::fromEnvironment());
    services.paths = paths;
    services.files = std::make_shared<linux_impl::PosixFileSystem>();
    services.clock = std::make_shared<linux_impl::LocalClock>();
    services.alerts = desktop.makeAlertPresenter();
    services.defaults = std::make_shared<linux_impl::JsonUserDefaults>(
        linux_impl::JsonUserDefaults::fileForDomain(identifier));
    services.mainBundle = bundle;
    services.translator = desktop.translator();
    // On the real system the package installed the helper and its polkit action, so the app
    // only reads them and never asks for an administrator. A sandbox root has no package: the
    // app installs into it after a dialog that stands in for the administrator, and the gateway
    // is no systemd unit there, so its menu only polls.
    const auto installation = paths->installationKind();
    static auto* const kept = new Kept;
    if (installation == linux_impl::InstallationKind::package) {
        services.authorization = std::make_shared<linux_impl::PolkitActionRights>(
            paths->resolve(linux_impl::kHelperPolicyFile));
        kept->serviceStates = std::make_shared<linux_impl::SystemdStateWatcher>();
    } else {
        services.authorization = std::make_shared<linux_impl::FileRightsStore>(
            paths->resolve("/var/db/authorization-rights.json"), desktop.makeAdministratorPrompt());
    }
    // Cloud replies complete on the session's own queue, never on the main thread.
    services.urlSession =
        std::make_shared<linux_impl::CurlUrlSession>(dispatch->makeSerialQueue("url-session"));
    services.random = std::make_shared<linux_impl::KernelRandom>();
    services.workspace = std::make_shared<linux_impl::XdgWorkspace>(
        processes, runtimeDir, linux_impl::XdgWorkspace::Programs(), qt::QtDesktop::showFolder);
    services.clipboard = desktop.makeClipboard();
    if (runtimeDir) {
        services.notifications =
            std::make_shared<linux_impl::SocketNotificationCenter>(*runtimeDir);
    }
    kept->connector = std::make_shared<linux_impl::UnixXpcConnector>(paths, dispatch);
    kept->serviceManagement = std::make_shared<linux_impl::LinuxServiceManagement>(
        paths, processes, bundle->bundlePath(), installation);
    kept->userNotifications = desktop.userNotifications();
    installServices(services);

    desktop.wizardWindow().setContent(std::make_shared<SetupWizardViewController>(
        desktop.wizardWindow(), desktop.application(), computerName, *dispatch));
    AppDelegate delegate({.statusBar = desktop.statusBar(),
                          .application = desktop.application(),
                          .dispatch = *dispatch,
                          .defaults = *services.defaults,
                          .bundle = *bundle,
                          .connector = *kept->connector,
                          .serviceManagement = *kept->serviceManagement,
                          .files = *services.files,
                          .processes = *processes,
                          .paths = *paths,
                          .workspace = *services.workspace,
                          .notifications = services.notifications.get(),
                          .serviceStates = kept->serviceStates.get(),
                          .userNotifications = kept->userNotifications.get()});
    delegate.setWindow(&desktop.wizardWindow());
    std::unique_ptr<DistributedNotificationCenter::Observation> reopen;
    if (services.notifications) {
        reopen = services.notifications->addObserver(
            kReopenNotification, identifier, [dispatch, &desktop] {
                dispatch->main().async([&desktop] {
                    log("Launched again: the status window is shown");
                    desktop.showStatusWindow();
                });
            });
    }
    const int status = desktop.run(delegate);
    reopen.reset();
    // The services stay installed: worker threads (a poll, a reply, a drained helper queue) may
    // still be finishing and log or post to the main queue until the process ends.
    return status;
}
