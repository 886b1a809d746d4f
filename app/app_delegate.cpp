#include "app/app_delegate.h"

#include <map>

#include "helper_interface/helper_authorization.h"
#include "platform/log.h"
#include "platform/translation.h"
#include "platform/ui_tools.h"
#include "service/qor_tools.h"

AppDelegate::AppDelegate(const Services& services)
    : services_(services),
      // Owns nothing: it only tells the door's copies whether the delegate is still here.
      alive_(this, [](AppDelegate*) {}),
      statusIconOk_(loadIcon("StatusBarIcon")),
      statusIconError_(loadIcon("StatusBarIconError")),
      statusIconStopped_(loadIcon("StatusBarIconStopped")) {}

AppDelegate::~AppDelegate() {
    platform::assertMainThread(services_.dispatch);
    alive_.reset();
    // Requests still waiting fail now; their errors find nobody and are neither logged nor told.
    if (currentHelperConnection_) currentHelperConnection_->invalidate();
}

void AppDelegate::Door::operator()(std::function<void(AppDelegate&)> task) const {
    dispatch->main().async([delegate = delegate, task = std::move(task)] {
        if (auto self = delegate.lock()) task(*self);
    });
}

AppDelegate::Door AppDelegate::door() const {
    platform::assertMainThread(services_.dispatch);
    return {alive_, &services_.dispatch};
}

// The timer may outlive the delegate (it is not cancelled on quit).
void AppDelegate::schedulePeriodicUpdate() {
    platform::assertMainThread(services_.dispatch);
    services_.dispatch.performAfterDelay(platform::seconds(statusCheckPeriodSeconds_),
                                         [alive = std::weak_ptr(alive_)] {
                                             if (auto self = alive.lock())
                                                 self->perform("pediodicallyUpdateMenu");
                                         });
}

void AppDelegate::followServiceState() {
    platform::assertMainThread(services_.dispatch);
    if (!services_.serviceStates) return;
    serviceStateWatch_ = services_.serviceStates->watch(QorTools::kServiceLabel, [door = door()] {
        door([](AppDelegate& self) {
            if (self.stateRefreshPending_) return;
            self.stateRefreshPending_ = true;
            self.onMainAfter(kStateChangeRefreshDelaySeconds, [](AppDelegate& self) {
                self.stateRefreshPending_ = false;
                self.updateMenu();
            });
        });
    });
}

void AppDelegate::onMainAfter(double seconds, std::function<void(AppDelegate&)> task) {
    platform::assertMainThread(services_.dispatch);
    services_.dispatch.main().asyncAfter(platform::seconds(seconds),
                                         [alive = std::weak_ptr(alive_), task = std::move(task)] {
                                             if (auto self = alive.lock()) task(*self);
                                         });
}

std::shared_ptr<platform::Image> AppDelegate::loadIcon(const std::string& name) {
    auto image = services_.statusBar.imageNamed(name);
    // The bundle is broken; the menu still works, with an empty icon.
    if (!image)
        platform::log("The status icon " + name + " is missing from the application's resources");
    return image;
}

void AppDelegate::applicationDidFinishLaunching() { setupStatusBarMenu(); }

bool AppDelegate::perform(const platform::Selector& selector) {
    static const std::map<platform::Selector, void (AppDelegate::*)()> actions = {
        {"pediodicallyUpdateMenu", &AppDelegate::pediodicallyUpdateMenu},
        {"startStopAction", &AppDelegate::startStopAction},
        {"configureAction", &AppDelegate::configureAction},
        {"setupWizardAction", &AppDelegate::setupWizardAction},
        {"startOnLoginAction", &AppDelegate::startOnLoginAction},
        {"showServiceLogsAction", &AppDelegate::showServiceLogsAction},
        {"showConfigIniBackupsAction", &AppDelegate::showConfigIniBackupsAction},
        {"showApplicationLogsAction", &AppDelegate::showApplicationLogsAction},
        {"aboutAction", &AppDelegate::aboutAction},
        {"quitApplication", &AppDelegate::quitApplication},
    };
    auto action = actions.find(selector);
    if (action == actions.end()) return false;
    (this->*action->second)();
    return true;
}

void AppDelegate::setupStatusBarMenu() {
    platform::assertMainThread(services_.dispatch);
    const std::string version =
        services_.bundle.infoString("CFBundleShortVersionString").value_or("unknown");
    const std::string bundleName = services_.bundle.infoString("CFBundleName").value_or("App");
    platform::log("OrvaneStorageGatewayApp version " + version + " start");
    askLauncherToQuit();

    services_.defaults.registerDefaults({{kStartOnBoot, true}});

    try {
        HelperAuthorization::updateRightsInDatabase();
    } catch (const HelperAuthorizationError& error) {
        platform::log(
            std::string("Failed to update the authorization database rights with error: ") +
            error.what());
    }
    checkHelperVersion();

    statusBarItem_ = services_.statusBar.makeStatusItem(platform::kSquareStatusItemLength);
    if (statusIconOk_) statusIconOk_->setTemplate(true);
    statusBarItem_->setButtonImage(statusIconOk_);

    statusBarItem_->setMenu(buildMenu(bundleName));
    updateMenu();
    schedulePeriodicUpdate();
    followServiceState();
    applyStartOnBoot();
    if (!QorTools::isConfigured()) openSetupWizard();
}

std::shared_ptr<platform::Menu> AppDelegate::buildMenu(const std::string& bundleName) {
    auto menu = services_.statusBar.makeMenu();
    menu->setAutoenablesItems(false);
    // Each title is looked up where it is written: the menu is built once, in the session's
    // language.
    auto add = [&](const std::string& title, const platform::Selector& action) {
        auto item = services_.statusBar.makeItem(title, action, "");
        menu->addItem(item);
        return item;
    };
    auto separator = [&] { menu->addItem(services_.statusBar.makeSeparator()); };

    menuItemStatus_ =
        add(platform::fillPlaceholders(platform::translate("Menu", "Status: %1"), {"?"}), "");
    menuItemStatus_->setEnabled(false);
    menuItemStartStop_ =
        add(platform::translate("Menu", "Stop orvane Storage Gateway"), "startStopAction");
    separator();
    menuItemConfigure_ = add(platform::translate("Menu", "Configure..."), "configureAction");
    menuItemConfigure_->setEnabled(false);
    add(platform::translate("Menu", "Setup Wizard..."), "setupWizardAction");
    menuItemStartOnLogin_ = add(platform::translate("Menu", "Start at boot"), "startOnLoginAction");
    menuItemShowConfigBackups_ = add(platform::translate("Menu", "Show Configuration Backups"),
                                     "showConfigIniBackupsAction");
    menuItemShowConfigBackups_->setAlternate(true);
    menuItemShowConfigBackups_->setKeyEquivalentModifierMask(platform::kOptionKeyMask);
    separator();
    add(platform::translate("Menu", "Show Service Logs"), "showServiceLogsAction");
    auto showApplicationLogs =
        add(platform::translate("Menu", "Show Application Logs"), "showApplicationLogsAction");
    showApplicationLogs->setAlternate(true);
    showApplicationLogs->setKeyEquivalentModifierMask(platform::kOptionKeyMask);
    separator();
    //: %1 is the application's name.
    add(platform::fillPlaceholders(platform::translate("Menu", "About %1"), {bundleName}),
        "aboutAction");
    add(platform::translate("Menu", "Quit"), "quitApplication");
    return menu;
}

void AppDelegate::updateMenu() {
    platform::assertMainThread(services_.dispatch);
    qorStatus_ = QorTools::getStatus();
    if (qorStatus_ == QorStatus::Running) runningSeenAt_ = serviceRequests_;
    noticeStatusChange();
    //: %1 is the gateway's status (Running, Failed, Stopped, Unknown), or "?" before the first
    //: refresh.
    menuItemStatus_->setTitle(platform::fillPlaceholders(platform::translate("Menu", "Status: %1"),
                                                         {shownName(qorStatus_)}));
    menuItemStartStop_->setTitle(platform::translate("Menu", "Start orvane Storage Gateway"));
    std::shared_ptr<platform::Image> icon;
    switch (qorStatus_) {
        case QorStatus::Running:
            menuItemStartStop_->setTitle(
                platform::translate("Menu", "Stop orvane Storage Gateway"));
            icon = statusIconOk_;
            break;
        case QorStatus::Failed:
        case QorStatus::Unknown: icon = statusIconError_; break;
        case QorStatus::Stopped: icon = statusIconStopped_; break;
    }
    if (icon) icon->setTemplate(true);
    if (statusBarItem_ && statusBarItem_->hasButton()) statusBarItem_->setButtonImage(icon);

    menuItemConfigure_->setEnabled(QorTools::isConfigured());
    menuItemShowConfigBackups_->setEnabled(services_.files.exists(QorTools::backupDirectoryURL()));
}

void AppDelegate::pediodicallyUpdateMenu() {
    platform::assertMainThread(services_.dispatch);
    updateMenu();
    schedulePeriodicUpdate();
}

void AppDelegate::setupWizardAction() {
    platform::assertMainThread(services_.dispatch);
    openSetupWizard();
}

void AppDelegate::openSetupWizard() {
    platform::assertMainThread(services_.dispatch);
    // A file that is there but may not be read is no empty one: say so, and what to do.
    const auto config = QorTools::configFileURL();
    if (services_.files.exists(config)) {
        auto contents = services_.files.readFile(config);
        if (auto* error = std::get_if<platform::FileError>(&contents)) {
            //: %1 is the file's path, %2 the system's reason.
            const auto unreadable = platform::fillPlaceholders(
                platform::translate("Alert", "The configuration file %1 cannot be read: %2."),
                {config.string(), error->description});
            UiTools::enqueueAlert(
                platform::translate("Alert", "Failed to start Setup Wizard"),
                unreadable + "\n\n" + platform::translate("Alert", kJoinTheGroup));
            return;
        }
    }
    const std::string url = QorTools::getOrvaneUrl().value_or("");
    if (url.empty() || url == "https://") {
        //: %1 is the value of orvane-url in config.ini, often empty.
        const auto question = platform::fillPlaceholders(
            platform::translate("Alert",
                                "Is orvane Storage Gateway installed and config.ini properly "
                                "initialized?\n\norvane-url from config.ini is \"%1\""),
            {url});
        UiTools::enqueueAlert(platform::translate("Alert", "Failed to start Setup Wizard"),
                              question);
        return;
    }
    platform::log("Start setup wizard");
    if (window_) window_->makeKeyAndOrderFront();
    services_.application.activateIgnoringOtherApps();
}
