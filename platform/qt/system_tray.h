#pragma once

namespace platform::qt {

// What the desktop offers status icons. Asked at start and again while there is no tray.
class SystemTray {
public:
    SystemTray() = default;
    SystemTray(const SystemTray&) = delete;
    SystemTray& operator=(const SystemTray&) = delete;
    virtual ~SystemTray() = default;
    // Whether status icons show at all.
    virtual bool isAvailable() const = 0;
    // Whether the panel draws the icon's menu from a copy exported over D-Bus. No key press
    // reaches such a menu, so nothing there can change while a modifier is held.
    virtual bool drawsMenus() const = 0;
};

// The desktop's own tray: Qt's word on availability; exported menus wherever a status notifier
// watcher on the session bus has a host registered, which is when Qt exports them.
class DesktopSystemTray : public SystemTray {
public:
    bool isAvailable() const override;
    bool drawsMenus() const override;
};

}  // namespace platform::qt
