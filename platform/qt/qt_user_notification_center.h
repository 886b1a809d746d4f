#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <map>

#include "platform/application.h"
#include "platform/user_notifications.h"

namespace platform::qt {

// Notifications through the desktop's notification server on the session bus; where none
// answers, as a message of the status icon. A pressed button performs its action on the
// application's delegate, on the main thread.
class QtUserNotificationCenter : public QObject, public UserNotificationCenter {
    Q_OBJECT

public:
    explicit QtUserNotificationCenter(SharedApplication& application);
    void deliver(const UserNotification& notification) override;
    // The icon whose messages stand in for a missing server; null for none.
    void setFallbackTray(std::function<QSystemTrayIcon*()> tray) {
        fallbackTray_ = std::move(tray);
    }
    // Whether the server's notification `id` has a button that does something here: from the
    // server's answer to its delivery until it is closed.
    bool hasAction(uint id) const { return actions_.contains(id); }

private slots:
    void actionInvoked(uint id, const QString& key);
    void notificationClosed(uint id);

private:
    void showAsMessage(const UserNotification& notification);
    void perform(const Selector& action);

    SharedApplication& application_;
    std::function<QSystemTrayIcon*()> fallbackTray_;
    // The action of each notification the server still shows, by its id there.
    std::map<uint, Selector> actions_;
    Selector messageAction_;
    QSystemTrayIcon* connectedTray_ = nullptr;
};

}  // namespace platform::qt
