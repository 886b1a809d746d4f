#include "platform/qt/qt_status_bar.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardPaths>
#include <map>

#include "platform/log.h"
#include "platform/qt/qt_status_window.h"
#include "platform/qt/status_notifier_item.h"
#include "platform/translation.h"

namespace platform::qt {

namespace {

// The icon theme's names of the status icons (cmake/OrvaneIcons.cmake has the same table).
QString themeNameOf(const std::string& name) {
    static const std::map<std::string, QString> kNames = {
        {"StatusBarIcon", "orvane-storage-gateway-running"},
        {"StatusBarIconStopped", "orvane-storage-gateway-stopped"},
        {"StatusBarIconError", "orvane-storage-gateway-error"},
    };
    const auto found = kNames.find(name);
    if (found == kNames.end()) return {};
    // Only an installed name: a panel given a name it cannot find may show nothing at all. The
    // full-colour name, not "-symbolic": a panel that prefers symbolic icons finds that variant
    // by itself and recolours it, while one that takes the name as it is (lxqt-panel) would show
    // the single-colour drawing, black, on a dark panel.
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  "icons/hicolor/22x22/status/" + found->second + ".png")
                   .isEmpty()
               ? QString()
               : found->second;
}

}  // namespace

QtMenuItem::QtMenuItem(const std::string& title, Selector action, std::string keyEquivalent,
                       std::shared_ptr<ActionRouter> router)
    : action_(std::make_unique<QAction>(QString::fromStdString(title))),
      selector_(std::move(action)),
      keyEquivalent_(std::move(keyEquivalent)) {
    action_->setIconVisibleInMenu(false);
    QObject::connect(action_.get(), &QAction::triggered,
                     [router = std::move(router), selector = selector_] {
                         if (router->responder && !selector.empty())
                             router->responder->perform(selector);
                     });
}

QtMenuItem::QtMenuItem() : action_(std::make_unique<QAction>()) { action_->setSeparator(true); }

void QtMenuItem::setTitle(const std::string& title) {
    action_->setText(QString::fromStdString(title));
}

void QtMenuItem::setState(ControlState state) {
    state_ = state;
    action_->setCheckable(state == ControlState::On || action_->isCheckable());
    action_->setChecked(state == ControlState::On);
}

void QtMenuItem::setAlternate(bool alternate) {
    alternate_ = alternate;
    if (flagsChanged) flagsChanged();
}

void QtMenuItem::setKeyEquivalentModifierMask(unsigned mask) {
    modifierMask_ = mask;
    if (flagsChanged) flagsChanged();
}

QtMenu::QtMenu() {
    menu_.installEventFilter(this);
    QObject::connect(&menu_, &QMenu::aboutToShow, [this] {
        showAlternates(QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier);
    });
}

QtMenu::~QtMenu() { menu_.removeEventFilter(this); }

void QtMenu::addItem(std::shared_ptr<MenuItem> item) {
    auto qtItem = std::dynamic_pointer_cast<QtMenuItem>(item);
    if (!qtItem) return;
    qtItem->flagsChanged = [this] { showAlternates(optionHeld_); };
    items_.push_back(qtItem);
    menu_.addAction(qtItem->qaction());
    showAlternates(optionHeld_);
    if (itemsChanged) itemsChanged();
}

std::vector<std::shared_ptr<MenuItem>> QtMenu::items() const {
    return {items_.begin(), items_.end()};
}

void QtMenu::setAlternatesAsItems(bool asItems) {
    alternatesAsItems_ = asItems;
    showAlternates(optionHeld_);
}

void QtMenu::showAlternates(bool optionHeld) {
    optionHeld_ = optionHeld;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (alternatesAsItems_) {
            items_[i]->qaction()->setVisible(true);
            continue;
        }
        const auto& item = items_[i];
        const bool isOptionAlternate =
            item->isAlternate() && (item->keyEquivalentModifierMask() & kOptionKeyMask);
        if (!isOptionAlternate || i == 0 || items_[i - 1]->isSeparator()) {
            if (!item->isAlternate()) item->qaction()->setVisible(true);
            continue;
        }
        item->qaction()->setVisible(optionHeld);
        items_[i - 1]->qaction()->setVisible(!optionHeld);
    }
}

bool QtMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &menu_ &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Alt) {
            showAlternates(event->type() == QEvent::KeyPress);
            // Left to the menu, Alt would close it.
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

QtStatusItem::QtStatusItem(double length) : length_(length) {}

QtStatusItem::~QtStatusItem() = default;

void QtStatusItem::popUpMenu(QPoint at) {
    auto qtMenu = std::dynamic_pointer_cast<QtMenu>(menu_);
    if (!qtMenu) return;
    // A Wayland popup needs a window of ours to hang from, and the panel is not ours: without
    // one the compositor makes the menu an ordinary window. The status window offers the same.
    if (QGuiApplication::platformName().startsWith("wayland")) {
        if (showWindow) showWindow();
        return;
    }
    qtMenu->qmenu()->popup(at.isNull() ? QCursor::pos() : at);
}

void QtStatusItem::setButtonImage(std::shared_ptr<Image> image) {
    image_ = std::move(image);
    auto qtImage = std::dynamic_pointer_cast<QtImage>(image_);
    const std::string key =
        qtImage ? qtImage->name() + (qtImage->isTemplate() ? " template" : "") : std::string();
    if (key == imageKey_) return;
    imageKey_ = key;
    icon_ = qtImage ? qtImage->renderedIcon() : QIcon();
    themeName_ = qtImage ? qtImage->themeName() : QString();
    if (exported_) exported_->setIcon(icon_, themeName_);
    if (embedded_) embedded_->setIcon(icon_);
}

void QtStatusItem::setMenu(std::shared_ptr<Menu> menu) {
    menu_ = std::move(menu);
    auto qtMenu = std::dynamic_pointer_cast<QtMenu>(menu_);
    if (exported_) exported_->setMenu(qtMenu.get());
    if (embedded_) embedded_->setContextMenu(qtMenu ? qtMenu->qmenu() : nullptr);
    QObject::disconnect(statusLine_);
    if (qtMenu && !qtMenu->qtItems().empty()) {
        statusLine_ = QObject::connect(qtMenu->qtItems().front()->qaction(), &QAction::changed,
                                       [this] { updateToolTip(); });
    }
    updateToolTip();
    if (menuChanged) menuChanged();
}

// The menu opens with its status line.
void QtStatusItem::updateToolTip() {
    auto qtMenu = std::dynamic_pointer_cast<QtMenu>(menu_);
    const bool hasLine =
        qtMenu && !qtMenu->qtItems().empty() && !qtMenu->qtItems().front()->isSeparator();
    toolTip_ = hasLine ? qtMenu->qtItems().front()->qaction()->text() : QString();
    const QString name = QGuiApplication::applicationDisplayName();
    if (exported_) exported_->setToolTip(name, toolTip_);
    if (embedded_) embedded_->setToolTip(toolTip_.isEmpty() ? name : name + "\n" + toolTip_);
}

void QtStatusItem::showIn(const QString& watcher, int registrations, bool embedded) {
    if (!watcher.isEmpty() && !exported_) {
        exported_ = std::make_unique<StatusNotifierItem>();
        exported_->activated = [this](QPoint at) { popUpMenu(at); };
        exported_->setIcon(icon_, themeName_);
        exported_->setMenu(std::dynamic_pointer_cast<QtMenu>(menu_).get());
    }
    if (exported_) exported_->registerWith(watcher, registrations);
    if (embedded && !embedded_) {
        // Made only now, with no watcher about: Qt picks the embedded kind for good then.
        embedded_ = std::make_unique<QSystemTrayIcon>();
        // The panel opens the menu on a right click; a left click should open it too.
        QObject::connect(embedded_.get(), &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger) popUpMenu({});
                         });
        embedded_->setIcon(icon_);
        auto qtMenu = std::dynamic_pointer_cast<QtMenu>(menu_);
        embedded_->setContextMenu(qtMenu ? qtMenu->qmenu() : nullptr);
    }
    updateToolTip();
    if (embedded_) embedded_->setVisible(embedded && !icon_.isNull());
}

QtStatusBar::QtStatusBar(const Bundle& bundle, std::shared_ptr<SystemTray> tray,
                         int graceMilliseconds)
    : bundle_(bundle), tray_(std::move(tray)), router_(std::make_shared<ActionRouter>()) {
    trayCheck_.setInterval(kTrayCheckMilliseconds);
    QObject::connect(&trayCheck_, &QTimer::timeout, [this] { refreshTray(); });
    grace_.setSingleShot(true);
    grace_.setInterval(graceMilliseconds);
    QObject::connect(&grace_, &QTimer::timeout, [this] {
        graceOver_ = true;
        refreshTray();
    });
    tray_->changed = [this] { refreshTray(); };
}

QtStatusBar::~QtStatusBar() { tray_->changed = nullptr; }

std::shared_ptr<StatusItem> QtStatusBar::makeStatusItem(double length) {
    auto item = std::make_shared<QtStatusItem>(length);
    item->menuChanged = [this] { refreshTray(); };
    item->showWindow = [this] { showStatusWindow(); };
    statusItems_.push_back(item);
    if (!graceOver_ && !grace_.isActive()) grace_.start();
    refreshTray();
    return item;
}

void QtStatusBar::refreshTray() {
    const QString watcher = tray_->watcher();
    const bool drawn = tray_->drawsMenus();
    const bool embedded = !drawn && tray_->embeds();
    trayAvailable_ = drawn || embedded;
    bool hasMenu = false;
    for (const auto& item : statusItems_) {
        item->showIn(watcher, tray_->registrations(), embedded);
        if (auto menu = std::dynamic_pointer_cast<QtMenu>(item->menu())) {
            menu->setAlternatesAsItems(!trayAvailable_ || drawn);
            hasMenu = true;
        }
    }
    if (trayAvailable_) {
        // A tray came: a panel restarting later leaves a gap, not a desktop without a tray.
        noticeGiven_ = true;
        trayCheck_.stop();
        if (window_) {
            window_->setNoticeVisible(false);
            if (windowForMissingTray_) window_->close();
        }
        windowForMissingTray_ = false;
        return;
    }
    if (!trayCheck_.isActive()) trayCheck_.start();
    if (hasMenu && graceOver_ && !noticeGiven_) {
        noticeGiven_ = true;
        platform::log("No system tray: the menu is offered in the status window");
        showStatusWindow();
    }
}

void QtStatusBar::showStatusWindow() {
    std::shared_ptr<QtMenu> menu;
    for (const auto& item : statusItems_) {
        if (!menu) menu = std::dynamic_pointer_cast<QtMenu>(item->menu());
    }
    if (!menu) return;
    if (!window_) {
        const std::string name = QGuiApplication::applicationDisplayName().toStdString();
        //: %1 is the application's name. "AppIndicator" is the name of a GNOME Shell extension.
        const std::string notice = platform::fillPlaceholders(
            platform::translate(
                "StatusWindow",
                "%1 has no icon in the panel: this desktop shows no system tray. On GNOME, the "
                "AppIndicator extension adds one; once it is on, the icon appears. Until then, "
                "open %1 from the application menu to come back to this window."),
            {name});
        window_ = std::make_unique<QtStatusWindow>(*menu, QString::fromStdString(notice));
    }
    // Before the grace period ends the tray may just be late: no notice yet.
    const bool missing = !trayAvailable_ && graceOver_;
    windowForMissingTray_ = !trayAvailable_;
    window_->setNoticeVisible(missing);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

std::shared_ptr<Menu> QtStatusBar::makeMenu() { return std::make_shared<QtMenu>(); }

std::shared_ptr<MenuItem> QtStatusBar::makeItem(const std::string& title, const Selector& action,
                                                const std::string& keyEquivalent) {
    return std::make_shared<QtMenuItem>(title, action, keyEquivalent, router_);
}

std::shared_ptr<MenuItem> QtStatusBar::makeSeparator() { return std::make_shared<QtMenuItem>(); }

std::shared_ptr<Image> QtStatusBar::imageNamed(const std::string& name) {
    auto file = bundle_.resourcePath(name, "png");
    if (!file) return nullptr;
    QIcon icon;
    icon.addFile(QString::fromStdString(file->string()));
    // A double-resolution drawing for high-density panels, when the bundle has one.
    if (auto hiDpi = bundle_.resourcePath(name + "@2x", "png")) {
        icon.addFile(QString::fromStdString(hiDpi->string()));
    }
    return std::make_shared<QtImage>(name, icon, themeNameOf(name));
}

}  // namespace platform::qt
