#include "platform/qt/qt_user_notification_center.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

#include "platform/log.h"

namespace platform::qt {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
// The button's key; "default" is what a click on the notification itself sends.
constexpr char kActionKey[] = "action";
constexpr char kDefaultKey[] = "default";

}  // namespace

QtUserNotificationCenter::QtUserNotificationCenter(SharedApplication& application)
    : application_(application) {
    auto bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kService, "ActionInvoked", this,
                SLOT(actionInvoked(uint, QString)));
    bus.connect(kService, kPath, kService, "NotificationClosed", this,
                SLOT(notificationClosed(uint)));
}

void QtUserNotificationCenter::deliver(const UserNotification& notification) {
    auto notify = QDBusMessage::createMethodCall(kService, kPath, kService, "Notify");
    const QString button = QString::fromStdString(notification.actionButtonTitle);
    // One button; a click on the notification itself does the same. The default action has no
    // label of its own, or servers that draw it as a button show the same one twice.
    const QStringList actions =
        button.isEmpty() ? QStringList{} : QStringList{kDefaultKey, QString(), kActionKey, button};
    notify << QGuiApplication::applicationDisplayName() << 0u << QString()
           << QString::fromStdString(notification.title)
           << QString::fromStdString(notification.informativeText) << actions << QVariantMap{}
           << -1;
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, watcher, notification] {
                         watcher->deleteLater();
                         const QDBusPendingReply<uint> reply = *watcher;
                         if (reply.isError()) {
                             showAsMessage(notification);
                         } else if (!notification.action.empty()) {
                             actions_[reply.value()] = notification.action;
                         }
                     });
}

void QtUserNotificationCenter::showAsMessage(const UserNotification& notification) {
    QSystemTrayIcon* tray = fallbackTray_ ? fallbackTray_() : nullptr;
    if (!tray || !tray->isVisible()) {
        platform::log("No notification server and no status icon to show \"" + notification.title +
                      "\"");
        return;
    }
    if (tray != connectedTray_) {
        connectedTray_ = tray;
        QObject::connect(tray, &QSystemTrayIcon::messageClicked, this,
                         [this] { perform(messageAction_); });
    }
    messageAction_ = notification.action;
    tray->showMessage(QString::fromStdString(notification.title),
                      QString::fromStdString(notification.informativeText));
}

void QtUserNotificationCenter::actionInvoked(uint id, const QString& key) {
    const auto action = actions_.find(id);
    if (action == actions_.end() || (key != kActionKey && key != kDefaultKey)) return;
    perform(action->second);
}

void QtUserNotificationCenter::notificationClosed(uint id) { actions_.erase(id); }

void QtUserNotificationCenter::perform(const Selector& action) {
    if (action.empty()) return;
    if (auto* delegate = application_.delegate()) delegate->perform(action);
}

}  // namespace platform::qt
