#include "platform/qt/system_tray.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QSystemTrayIcon>

#include "platform/log.h"

namespace platform::qt {
namespace {

constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";

}  // namespace

DesktopSystemTray::DesktopSystemTray() {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    names_ = new QDBusServiceWatcher(kWatcherService, bus, QDBusServiceWatcher::WatchForOwnerChange,
                                     this);
    connect(names_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) { ownerChanged(owner); });
    // A host that comes or goes later: asked again, since others may remain.
    bus.connect(kWatcherService, kWatcherPath, kWatcherService, "StatusNotifierHostRegistered",
                this, SLOT(hostsChanged()));
    bus.connect(kWatcherService, kWatcherPath, kWatcherService, "StatusNotifierHostUnregistered",
                this, SLOT(hostsChanged()));
    // The bus daemon answers this itself, at once. Quietly: this runs before the log exists.
    const auto current = bus.interface()->serviceOwner(kWatcherService);
    if (current.isValid() && !current.value().isEmpty()) {
        owner_ = current.value();
        askForHost();
    }
}

DesktopSystemTray::~DesktopSystemTray() = default;

bool DesktopSystemTray::embeds() const {
    return owner_.isEmpty() && QSystemTrayIcon::isSystemTrayAvailable();
}

void DesktopSystemTray::ownerChanged(const QString& owner) {
    owner_ = owner;
    hostRegistered_ = false;
    if (owner.isEmpty()) {
        platform::log("The status notifier watcher left the session bus");
        notify();
        return;
    }
    platform::log("A status notifier watcher is on the session bus");
    ++registrations_;
    // Until the watcher answers, the items register and the tray counts as absent.
    notify();
    askForHost();
}

void DesktopSystemTray::hostsChanged() {
    if (owner_.isEmpty()) return;
    ++registrations_;
    notify();
    askForHost();
}

void DesktopSystemTray::askForHost() {
    auto get = QDBusMessage::createMethodCall(owner_, kWatcherPath,
                                              "org.freedesktop.DBus.Properties", "Get");
    get << QString(kWatcherService) << QString("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, owner = owner_](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusMessage reply = done->reply();
                if (owner != owner_ || reply.type() != QDBusMessage::ReplyMessage ||
                    reply.arguments().isEmpty())
                    return;
                const bool registered =
                    qvariant_cast<QDBusVariant>(reply.arguments().front()).variant().toBool();
                if (registered == hostRegistered_) return;
                hostRegistered_ = registered;
                notify();
            });
}

void DesktopSystemTray::notify() {
    if (changed) changed();
}

}  // namespace platform::qt
