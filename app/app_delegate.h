#pragma once

#include <memory>
#include <string>

#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/dispatch.h"
#include "platform/status_bar.h"
#include "platform/user_defaults.h"
#include "service/qor_status.h"

// The application's delegate: owns the status item and its menu, and keeps the menu in step
// with the gateway service. Main thread only.
class AppDelegate : public platform::ApplicationDelegate {
public:
    AppDelegate(platform::StatusBar& statusBar, platform::Dispatch& dispatch,
                platform::UserDefaults& defaults, const platform::Bundle& bundle);

    void applicationDidFinishLaunching() override;
    bool perform(const platform::Selector& selector) override;

    void setupStatusBarMenu();
    void updateMenu();
    void pediodicallyUpdateMenu();

    // Read by tests and later by the menu actions.
    QorStatus qorStatus() const { return qorStatus_; }
    const std::shared_ptr<platform::StatusItem>& statusBarItem() const { return statusBarItem_; }
    const std::shared_ptr<platform::MenuItem>& menuItemStatus() const { return menuItemStatus_; }
    const std::shared_ptr<platform::MenuItem>& menuItemStartStop() const { return menuItemStartStop_; }
    const std::shared_ptr<platform::MenuItem>& menuItemConfigure() const { return menuItemConfigure_; }
    const std::shared_ptr<platform::MenuItem>& menuItemStartOnLogin() const {
        return menuItemStartOnLogin_;
    }
    const std::shared_ptr<platform::MenuItem>& menuItemShowConfigBackups() const {
        return menuItemShowConfigBackups_;
    }
    const std::shared_ptr<platform::Image>& statusIconOk() const { return statusIconOk_; }
    const std::shared_ptr<platform::Image>& statusIconError() const { return statusIconError_; }
    const std::shared_ptr<platform::Image>& statusIconStopped() const { return statusIconStopped_; }
    double statusCheckPeriodSeconds() const { return statusCheckPeriodSeconds_; }

private:
    std::shared_ptr<platform::Image> loadIcon(const std::string& name);
    std::shared_ptr<platform::Menu> buildMenu(const std::string& bundleName);

    platform::StatusBar& statusBar_;
    platform::Dispatch& dispatch_;
    platform::UserDefaults& defaults_;
    const platform::Bundle& bundle_;

    std::shared_ptr<platform::StatusItem> statusBarItem_;
    std::shared_ptr<platform::MenuItem> menuItemStatus_;
    std::shared_ptr<platform::MenuItem> menuItemStartStop_;
    std::shared_ptr<platform::MenuItem> menuItemConfigure_;
    std::shared_ptr<platform::MenuItem> menuItemStartOnLogin_;
    std::shared_ptr<platform::MenuItem> menuItemShowConfigBackups_;
    QorStatus qorStatus_ = QorStatus::Running;
    std::shared_ptr<platform::Image> statusIconOk_;
    std::shared_ptr<platform::Image> statusIconError_;
    std::shared_ptr<platform::Image> statusIconStopped_;
    double statusCheckPeriodSeconds_ = 5.0;
};
