#include <QApplication>
#include <QTimer>

#include "platform/application.h"
#include "platform/linux/json_user_defaults.h"
#include "platform/linux/local_clock.h"
#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/linux/system_log.h"
#include "platform/qt/qt_alert_presenter.h"
#include "platform/qt/qt_dispatch.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/registry.h"

namespace platform {

int applicationMain(int argc, char** argv, const DelegateFactory& makeDelegate) {
    QApplication app(argc, argv);
    // A menu-bar application lives on after its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    auto bundle =
        std::make_shared<linux_impl::PlistBundle>(linux_impl::PlistBundle::ofRunningExecutable());
    const std::string identifier =
        bundle->infoString("CFBundleIdentifier").value_or("com.velmora.OrvaneStorageGatewayApp");
    QApplication::setApplicationDisplayName(
        QString::fromStdString(bundle->infoString("CFBundleName").value_or("App")));

    auto dispatch = std::make_shared<qt::QtDispatch>();
    Services services;
    services.log = std::make_shared<linux_impl::SystemLog>(
        bundle->infoString("CFBundleExecutable").value_or("OrvaneStorageGatewayApp"));
    services.dispatch = dispatch;
    services.processes = std::make_shared<linux_impl::PosixProcessRunner>();
    services.paths = std::make_shared<linux_impl::RootedSystemPaths>(
        linux_impl::RootedSystemPaths::fromEnvironment());
    services.files = std::make_shared<linux_impl::PosixFileSystem>();
    services.clock = std::make_shared<linux_impl::LocalClock>();
    services.alerts = std::make_shared<qt::QtAlertPresenter>(*dispatch);
    services.defaults = std::make_shared<linux_impl::JsonUserDefaults>(
        linux_impl::JsonUserDefaults::fileForDomain(identifier));
    services.mainBundle = bundle;
    installServices(services);

    qt::QtStatusBar statusBar(*bundle);
    ApplicationContext context{statusBar};
    std::unique_ptr<ApplicationDelegate> delegate = makeDelegate(context);
    statusBar.setResponder(delegate.get());
    QTimer::singleShot(0, [&] { delegate->applicationDidFinishLaunching(); });
    const int status = QApplication::exec();

    statusBar.setResponder(nullptr);
    delegate.reset();
    installServices({});
    return status;
}

}  // namespace platform
