#include "platform/qt/system_tray.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSystemTrayIcon>

namespace platform::qt {
namespace {

constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
// A watcher that does not answer promptly is as good as none; start must not wait on it.
constexpr int kWatcherTimeoutMilliseconds = 1000;

}  // namespace

bool DesktopSystemTray::isAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool DesktopSystemTray::drawsMenus() const {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    auto get = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                              "org.freedesktop.DBus.Properties", "Get");
    get << QString(kWatcherService) << QString("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kWatcherTimeoutMilliseconds);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().front()).variant().toBool();
}

}  // namespace platform::qt
