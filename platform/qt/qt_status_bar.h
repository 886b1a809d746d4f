#pragma once

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "platform/bundle.h"
#include "platform/qt/system_tray.h"
#include "platform/status_bar.h"

namespace platform::qt {

// Where menu actions go: the application's delegate, once it exists.
struct ActionRouter {
    Responder* responder = nullptr;
};

class QtImage : public Image {
public:
    QtImage(std::string name, QIcon icon, QString themeName = {})
        : name_(std::move(name)), icon_(std::move(icon)), themeName_(std::move(themeName)) {}
    std::string name() const override { return name_; }
    void setTemplate(bool isTemplate) override { template_ = isTemplate; }
    bool isTemplate() const override { return template_; }
    // As drawn. The panel's colours are not known here, so a template is drawn to hold on light
    // and dark panels alike (black inside a white halo), as the build made it.
    const QIcon& renderedIcon() const { return icon_; }
    // The icon theme's name for a template (its "-symbolic" variant is what panels recolour to
    // their text colour); empty where none is installed.
    QString themeName() const { return template_ ? themeName_ : QString(); }

private:
    std::string name_;
    QIcon icon_;
    QString themeName_;
    bool template_ = false;
};

class QtMenuItem : public MenuItem {
public:
    QtMenuItem(const std::string& title, Selector action, std::string keyEquivalent,
               std::shared_ptr<ActionRouter> router);
    // A separator.
    QtMenuItem();

    bool isSeparator() const override { return action_->isSeparator(); }
    std::string title() const override { return action_->text().toStdString(); }
    void setTitle(const std::string& title) override;
    Selector action() const override { return selector_; }
    std::string keyEquivalent() const override { return keyEquivalent_; }
    // Kept apart from the QAction's, which also reads false while an alternate is hidden.
    bool isEnabled() const override { return enabled_; }
    void setEnabled(bool enabled) override {
        enabled_ = enabled;
        action_->setEnabled(enabled);
    }
    ControlState state() const override { return state_; }
    void setState(ControlState state) override;
    bool isAlternate() const override { return alternate_; }
    void setAlternate(bool alternate) override;
    unsigned keyEquivalentModifierMask() const override { return modifierMask_; }
    void setKeyEquivalentModifierMask(unsigned mask) override;

    QAction* qaction() const { return action_.get(); }
    // Told when the item's alternate flags change, so the menu can pair it again.
    std::function<void()> flagsChanged;

private:
    std::unique_ptr<QAction> action_;
    Selector selector_;
    std::string keyEquivalent_;
    bool enabled_ = true;
    ControlState state_ = ControlState::Off;
    bool alternate_ = false;
    unsigned modifierMask_ = 0;
};

// A QMenu whose Option alternates replace the item above them while Alt is held, or, where no
// key reaches the menu, show as items of their own right after the items they alternate with.
class QtMenu : public QObject, public Menu {
public:
    QtMenu();
    ~QtMenu() override;
    QtMenu(const QtMenu&) = delete;
    QtMenu& operator=(const QtMenu&) = delete;
    bool autoenablesItems() const override { return autoenables_; }
    void setAutoenablesItems(bool autoenables) override { autoenables_ = autoenables; }
    void addItem(std::shared_ptr<MenuItem> item) override;
    std::vector<std::shared_ptr<MenuItem>> items() const override;

    QMenu* qmenu() { return &menu_; }
    void showAlternates(bool optionHeld);
    void setAlternatesAsItems(bool asItems);
    const std::vector<std::shared_ptr<QtMenuItem>>& qtItems() const { return items_; }
    // Told when an item is added.
    std::function<void()> itemsChanged;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu menu_;
    std::vector<std::shared_ptr<QtMenuItem>> items_;
    bool autoenables_ = true;
    bool optionHeld_ = false;
    bool alternatesAsItems_ = false;
};

class StatusNotifierItem;

// Shown by the panel that draws the status notifier watcher's items, else as an X11 embedded
// icon, else not at all; each made only once needed.
class QtStatusItem : public StatusItem {
public:
    explicit QtStatusItem(double length);
    QtStatusItem(const QtStatusItem&) = delete;
    QtStatusItem& operator=(const QtStatusItem&) = delete;
    QtStatusItem(QtStatusItem&&) = delete;
    QtStatusItem& operator=(QtStatusItem&&) = delete;
    ~QtStatusItem() override;
    double length() const override { return length_; }
    bool hasButton() const override { return true; }
    std::shared_ptr<Image> buttonImage() const override { return image_; }
    void setButtonImage(std::shared_ptr<Image> image) override;
    std::shared_ptr<Menu> menu() const override { return menu_; }
    void setMenu(std::shared_ptr<Menu> menu) override;
    // Registered with `watcher` (empty: there is none) as of its `registrations`, and embedded
    // or not.
    void showIn(const QString& watcher, int registrations, bool embedded);
    // The icon as drawn.
    const QIcon& icon() const { return icon_; }
    // What a pointer over the icon shows: the menu's status line.
    const QString& toolTip() const { return toolTip_; }
    // Null until needed.
    QSystemTrayIcon* embeddedIcon() const { return embedded_.get(); }
    StatusNotifierItem* exportedItem() const { return exported_.get(); }
    // Told when the item gets its menu.
    std::function<void()> menuChanged;
    // Opens the status window, where a click cannot pop the menu up.
    std::function<void()> showWindow;

private:
    void popUpMenu(QPoint at);
    void updateToolTip();

    double length_;
    std::shared_ptr<Image> image_;
    std::shared_ptr<Menu> menu_;
    // The image last drawn, by name and whether it was a template: a refresh that sets the same
    // image sends nothing to the panel.
    std::string imageKey_;
    QIcon icon_;
    QString themeName_;
    QString toolTip_;
    std::unique_ptr<StatusNotifierItem> exported_;
    std::unique_ptr<QSystemTrayIcon> embedded_;
    QMetaObject::Connection statusLine_;
};

class QtStatusWindow;

// Where the desktop has no tray, the status items' menus are offered in a small window instead:
// it opens by itself once, saying why, when no tray has come within a grace period after start
// (a panel starting at login beside the app), and again whenever `showStatusWindow` is called
// (the application launched a second time). The watcher is followed as it comes and goes; an X11
// tray is asked for every few seconds while there is no tray at all. Once there is one, the
// icons show, and a window opened for want of a tray closes.
class QtStatusBar : public StatusBar {
public:
    explicit QtStatusBar(const Bundle& bundle,
                         std::shared_ptr<SystemTray> tray = std::make_shared<DesktopSystemTray>(),
                         int graceMilliseconds = kNoTrayGraceMilliseconds);
    ~QtStatusBar() override;
    QtStatusBar(const QtStatusBar&) = delete;
    QtStatusBar& operator=(const QtStatusBar&) = delete;
    void setResponder(Responder* responder) { router_->responder = responder; }

    std::shared_ptr<StatusItem> makeStatusItem(double length) override;
    std::shared_ptr<Menu> makeMenu() override;
    std::shared_ptr<MenuItem> makeItem(const std::string& title, const Selector& action,
                                       const std::string& keyEquivalent) override;
    std::shared_ptr<MenuItem> makeSeparator() override;
    std::shared_ptr<Image> imageNamed(const std::string& name) override;

    const std::vector<std::shared_ptr<QtStatusItem>>& statusItems() const { return statusItems_; }

    // Asks the tray again and shows the items and their menus accordingly.
    void refreshTray();
    void showStatusWindow();
    // Null until it first opens.
    QtStatusWindow* statusWindow() const { return window_.get(); }

    static constexpr int kTrayCheckMilliseconds = 2000;
    static constexpr int kNoTrayGraceMilliseconds = 15000;

private:
    const Bundle& bundle_;
    std::shared_ptr<SystemTray> tray_;
    std::shared_ptr<ActionRouter> router_;
    std::vector<std::shared_ptr<QtStatusItem>> statusItems_;
    bool trayAvailable_ = true;
    bool noticeGiven_ = false;
    bool graceOver_ = false;
    // Whether the window shows because there was no tray.
    bool windowForMissingTray_ = false;
    QTimer trayCheck_;
    QTimer grace_;
    std::unique_ptr<QtStatusWindow> window_;
};

}  // namespace platform::qt
