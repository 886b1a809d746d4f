#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QDBusServiceWatcher;

namespace platform::qt {

// What the desktop offers status icons: a status notifier watcher on the session bus, whose
// panel (its host) shows the items registered with it and draws their menus, or an X11 tray
// that embeds icons. Either may come, go or restart while the app runs; `changed` says so.
class SystemTray {
public:
    SystemTray() = default;
    SystemTray(const SystemTray&) = delete;
    SystemTray& operator=(const SystemTray&) = delete;
    virtual ~SystemTray() = default;
    // The watcher's owner on the session bus (a unique name, new at each restart); empty while
    // there is none.
    virtual QString watcher() const = 0;
    // Whether a panel shows the watcher's items. No key press reaches the menus it draws, so
    // nothing there can change while a modifier is held.
    virtual bool drawsMenus() const = 0;
    // Whether an X11 tray embeds icons. Asked only while there is no watcher: Qt's tray picks
    // its kind once, and must never pick an exported icon beside ours.
    virtual bool embeds() const = 0;
    // Told when the watcher comes, goes or restarts, or its host registers or leaves. An X11
    // tray is not followed: it is asked again while there is no tray at all.
    std::function<void()> changed;
    // Counts the watchers' arrivals and their hosts' registrations: items register again at each,
    // since a host that starts beside its watcher may miss an item registered before it was
    // listening.
    int registrations() const { return registrations_; }

protected:
    int registrations_ = 0;
};

// The desktop's own: the watcher followed on the session bus, the X11 tray as Qt sees it.
class DesktopSystemTray : public QObject, public SystemTray {
    Q_OBJECT

public:
    DesktopSystemTray();
    DesktopSystemTray(const DesktopSystemTray&) = delete;
    DesktopSystemTray& operator=(const DesktopSystemTray&) = delete;
    DesktopSystemTray(DesktopSystemTray&&) = delete;
    DesktopSystemTray& operator=(DesktopSystemTray&&) = delete;
    ~DesktopSystemTray() override;
    QString watcher() const override { return owner_; }
    bool drawsMenus() const override { return !owner_.isEmpty() && hostRegistered_; }
    bool embeds() const override;

private slots:
    void hostsChanged();

private:
    void ownerChanged(const QString& owner);
    void askForHost();
    void notify();

    QDBusServiceWatcher* names_ = nullptr;
    QString owner_;
    bool hostRegistered_ = false;
};

}  // namespace platform::qt
