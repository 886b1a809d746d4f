// The real Qt menu, icon and status window, on a private X display and session bus: what a person
// would see in the panel, what a panel reads of the exported menu (from a status notifier
// watcher of ours) and what the desktop's notification server receives.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QKeyEvent>
#include <QLayout>
#include <QPixmap>
#include <QPushButton>
#include <filesystem>
#include <optional>

#include "app/app_delegate.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/qt/qt_status_window.h"
#include "platform/qt/qt_user_notification_center.h"
#include "platform/qt/status_notifier_item.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"
#include "tests/app/app_services.h"

namespace {

using namespace platform::testing;

struct RecordingDelegate : platform::ApplicationDelegate {
    void applicationDidFinishLaunching() override {}
    bool perform(const platform::Selector& selector) override {
        performed.push_back(selector);
        return true;
    }
    std::vector<std::string> performed;
};

// Lets the event loop run until `done`, for 10 s at most.
bool spinUntil(const std::function<bool()>& done) {
    return eventually([&] {
        QApplication::processEvents();
        return done();
    });
}

// An X11 tray, whose menus Qt draws, or none.
struct FakeTray : platform::qt::SystemTray {
    QString watcher() const override { return {}; }
    bool drawsMenus() const override { return false; }
    bool embeds() const override { return available; }
    bool available = true;
};

// Calls a method of the mock watcher, whose calls back to the item this thread's event loop
// answers while the call waits.
QDBusMessage callWatcher(const QString& method, const QVariantList& arguments = {}) {
    auto call =
        QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                       "org.freedesktop.DBus.Mock", method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::BlockWithGui);
}

class AppMenuGuiTest : public ::testing::Test {
protected:
    // The display and session bus the whole suite shares, torn down in reverse order.
    struct Desktop {
        TempDir folder;
        PrivateDisplay display;
        DbusMock session{folder.path(), "", "session", false, DbusMock::Bus::session};
        std::optional<MockStatusTray> watcher{std::in_place, folder.path(), session.address()};
        MockNotifications notifications{folder.path(), session};
    };
    static void SetUpTestSuite() {
        desktop = std::make_unique<Desktop>();
        // Where Qt exports status icons: its X11 platform, not the offscreen one.
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        // The status icons' theme, as the package installs it.
        ::setenv("XDG_DATA_DIRS", ORVANE_SHARE_DIR, 1);
        ensureQtTestApplication();
    }
    static void TearDownTestSuite() { desktop.reset(); }

    AppMenuGuiTest() : bundle(ORVANE_BUNDLE_DIR) {
        for (const char* icon : {"StatusBarIcon", "StatusBarIconError", "StatusBarIconStopped"}) {
            bundle.resources.push_back(std::string(icon) + ".png");
            bundle.resources.push_back(std::string(icon) + "@2x.png");
        }
        bundle.info = {{"CFBundleName", "Orvane Storage Gateway"}};
        platform.processes->setResult({std::nullopt, false, 113, "not loaded"});
        platform.application->applicationDelegate = &responder;
    }
    void launch(std::shared_ptr<platform::qt::SystemTray> systemTray = nullptr,
                int graceMilliseconds = 15000) {
        statusBar = std::make_unique<platform::qt::QtStatusBar>(
            bundle, systemTray ? systemTray : tray, graceMilliseconds);
        statusBar->setResponder(&responder);
        delegate = std::make_unique<AppDelegate>(app_test::appServices(
            platform, *statusBar, *platform.xpc, *platform.serviceManagement, &bundle));
        delegate->applicationDidFinishLaunching();
        menu = std::dynamic_pointer_cast<platform::qt::QtMenu>(delegate->statusBarItem()->menu());
    }
    ~AppMenuGuiTest() override {
        if (statusBar) statusBar->setResponder(nullptr);
    }

    // Rows joined by " | ": a title, "(on)" after a checked item, "(off)" after a disabled one.
    static void add(std::string& rows, const QString& title, bool checked, bool enabled) {
        rows += (rows.empty() ? "" : " | ") + title.toStdString() + (checked ? " (on)" : "") +
                (enabled ? "" : " (off)");
    }
    // What the menu shows; "-" for a separator.
    std::string visible() const {
        std::string rows;
        for (QAction* action : menu->qmenu()->actions()) {
            if (action->isVisible())
                add(rows, action->isSeparator() ? "-" : action->text(), action->isChecked(),
                    action->isEnabled() || action->isSeparator());
        }
        return rows;
    }
    void alt(QEvent::Type type) {
        QKeyEvent event(type, Qt::Key_Alt,
                        type == QEvent::KeyPress ? Qt::AltModifier : Qt::NoModifier);
        QApplication::sendEvent(menu->qmenu(), &event);
    }
    static std::filesystem::path output(const std::string& name) {
        std::filesystem::create_directories(ORVANE_TEST_OUTPUT_DIR);
        return std::filesystem::path(ORVANE_TEST_OUTPUT_DIR) / name;
    }

    static inline std::unique_ptr<Desktop> desktop;
    TestPlatform platform;
    FakeBundle bundle;
    std::shared_ptr<FakeTray> tray = std::make_shared<FakeTray>();
    RecordingDelegate responder;
    std::unique_ptr<platform::qt::QtStatusBar> statusBar;
    std::unique_ptr<AppDelegate> delegate;
    std::shared_ptr<platform::qt::QtMenu> menu;
};

const std::string kNormal =
    "Status: Stopped (off) | Start orvane Storage Gateway | - | Configure... (off) | "
    "Setup Wizard... | Start at boot (on) | - | Show Service Logs | - | "
    "About Orvane Storage Gateway | Quit";
// Every item, the alternates included, as the panel and the window without a tray offer them.
const std::string kAll =
    "Status: Stopped (off) | Start orvane Storage Gateway | - | Configure... (off) | "
    "Setup Wizard... | Start at boot (on) | Show Configuration Backups (off) | - | "
    "Show Service Logs | Show Application Logs | - | About Orvane Storage Gateway | Quit";

TEST_F(AppMenuGuiTest, ShowsTheMenuAndItsAlternatesAsAPersonSeesThem) {
    launch();
    ASSERT_NE(menu, nullptr);
    const std::string withAlt =
        "Status: Stopped (off) | Start orvane Storage Gateway | - | Configure... (off) | "
        "Setup Wizard... | Show Configuration Backups (off) | - | Show Application Logs | - | "
        "About Orvane Storage Gateway | Quit";
    auto triggerVisible = [&] {
        responder.performed.clear();
        for (QAction* action : menu->qmenu()->actions()) {
            if (action->isVisible() && !action->isSeparator()) action->trigger();
        }
        return responder.performed;
    };

    menu->qmenu()->popup(QPoint(10, 10));
    QApplication::processEvents();
    EXPECT_EQ(visible(), kNormal);
    alt(QEvent::KeyPress);
    EXPECT_TRUE(menu->qmenu()->isVisible()) << "the Alt press must not close the menu";
    EXPECT_EQ(visible(), withAlt);
    EXPECT_TRUE(
        menu->qmenu()->grab().save(QString::fromStdString(output("menu-alternates.png").string())));
    alt(QEvent::KeyRelease);
    EXPECT_EQ(visible(), kNormal);
    EXPECT_EQ(triggerVisible(), (std::vector<std::string>{
                                    "startStopAction", "setupWizardAction", "startOnLoginAction",
                                    "showServiceLogsAction", "aboutAction", "quitApplication"}))
        << "disabled items send nothing";

    // Configured, and with backups: enabled while hidden, that item shows enabled once Alt is held.
    platform.writeCompleteConfig();
    std::filesystem::create_directories(platform.resolve(
        "/Library/Application Support/Velmora/OrvaneStorageGateway/Data/ConfigBackups/"));
    delegate->updateMenu();
    alt(QEvent::KeyPress);
    EXPECT_EQ(triggerVisible(),
              (std::vector<std::string>{"startStopAction", "configureAction", "setupWizardAction",
                                        "showConfigIniBackupsAction", "showApplicationLogsAction",
                                        "aboutAction", "quitApplication"}));
}

// Without a tray the menu is a window, opened once by itself with a word on why after a grace
// period, and again at each launch; once a tray appears, the icon shows, the window the missing
// tray opened closes and the menu is Qt's again.
TEST_F(AppMenuGuiTest, WithoutATrayTheMenuIsAWindowUntilATrayAppears) {
    tray->available = false;
    launch(nullptr, 300);
    EXPECT_EQ(statusBar->statusWindow(), nullptr) << "a panel starting beside the app is awaited";
    ASSERT_TRUE(spinUntil([&] { return statusBar->statusWindow() != nullptr; }));
    auto* window = statusBar->statusWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->notice().isVisibleTo(window));
    EXPECT_TRUE(window->notice().text().contains("AppIndicator extension"));
    EXPECT_EQ(statusBar->statusItems().at(0)->embeddedIcon(), nullptr);

    std::vector<QPushButton*> buttons;
    auto offered = [&] {
        std::string rows;
        buttons.clear();
        for (int i = 1; i < window->layout()->count(); ++i) {
            QWidget* widget = window->layout()->itemAt(i)->widget();
            auto* button = qobject_cast<QPushButton*>(widget);
            auto* label = qobject_cast<QLabel*>(widget);
            if (button) buttons.push_back(button);
            // A label, as the status line, offers nothing to press: it shows as off.
            add(rows,
                button  ? button->text()
                : label ? label->text()
                        : "-",
                button && button->isChecked(), !label && (!button || button->isEnabled()));
        }
        return rows;
    };
    EXPECT_EQ(offered(), kAll);
    EXPECT_TRUE(window->grab().save(QString::fromStdString(output("status-window.png").string())));
    // Not the check mark: here nobody would set it back.
    for (QPushButton* button : buttons) {
        if (!button->isCheckable()) button->click();
    }
    EXPECT_EQ(
        responder.performed,
        (std::vector<std::string>{"startStopAction", "setupWizardAction", "showServiceLogsAction",
                                  "showApplicationLogsAction", "aboutAction", "quitApplication"}));

    window->close();
    statusBar->refreshTray();
    EXPECT_FALSE(window->isVisible()) << "the notice opens the window once";
    statusBar->showStatusWindow();  // a second launch
    EXPECT_TRUE(window->isVisible());

    tray->available = true;
    statusBar->refreshTray();
    ASSERT_NE(statusBar->statusItems().at(0)->embeddedIcon(), nullptr);
    EXPECT_TRUE(statusBar->statusItems().at(0)->embeddedIcon()->isVisible());
    EXPECT_FALSE(window->isVisible()) << "opened for want of a tray, it goes with the want";
    EXPECT_EQ(visible(), kNormal) << "with a tray the alternates wait for Alt again";
    statusBar->showStatusWindow();
    statusBar->refreshTray();
    EXPECT_TRUE(window->isVisible()) << "a launch with a tray opens the window for good";
    EXPECT_FALSE(window->notice().isVisibleTo(window));
    EXPECT_EQ(offered(), kAll) << "the window still offers them";
}

// The panel at login starts after the app, and may restart: the item registers with each
// watcher that comes, its menu and clicks as the panel reads and sends them, and its name goes at
// Quit.
TEST_F(AppMenuGuiTest, ThePanelsMenuFollowsTheWatcherWheneverItComes) {
    desktop->watcher.reset();
    launch(std::make_shared<platform::qt::DesktopSystemTray>());
    auto rows = [] {
        QStringList read;
        spinUntil([&] {
            read = callWatcher("MenuRows").arguments().value(0).toStringList();
            return !read.isEmpty();
        });
        return read.join(" | ").toStdString();
    };
    for (const char* start : {"after the app", "restarted"}) {
        desktop->watcher.reset();
        desktop->watcher.emplace(desktop->folder.path(), desktop->session.address());
        EXPECT_EQ(rows(), kAll) << "a watcher " << start;
    }
    EXPECT_EQ(statusBar->statusWindow(), nullptr) << "no word of a missing tray";
    EXPECT_EQ(
        callWatcher("ItemTexts").arguments().value(0).toStringList().join(" | ").toStdString(),
        "Status: Stopped | orvane-storage-gateway-stopped")
        << "the tooltip is the status line; the installed icon is named";

    callWatcher("Click", {"Setup Wizard..."});
    callWatcher("Click", {"Configure..."});  // disabled: nothing
    EXPECT_TRUE(spinUntil([&] { return !responder.performed.empty(); }));
    EXPECT_EQ(responder.performed, std::vector<std::string>{"setupWizardAction"});

    // An unchanged refresh sends the panel nothing; a new image is sent once.
    auto newIcons = [] {
        QApplication::processEvents();
        return callWatcher("NewIcons").arguments().value(0).toInt();
    };
    const int before = newIcons();
    delegate->updateMenu();
    delegate->updateMenu();
    auto error = statusBar->imageNamed("StatusBarIconError");
    error->setTemplate(true);
    delegate->statusBarItem()->setButtonImage(error);
    delegate->statusBarItem()->setButtonImage(error);
    // Signals and calls may leave on different paths: the first icon is awaited; a second one,
    // sent with it, would have come by the next call.
    EXPECT_TRUE(spinUntil([&] { return newIcons() - before >= 1; }));
    EXPECT_EQ(newIcons() - before, 1);

    const QString name = statusBar->statusItems().at(0)->exportedItem()->serviceName();
    menu.reset();
    delegate.reset();
    statusBar.reset();
    EXPECT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value())
        << "the item leaves the watcher at Quit";
}

TEST_F(AppMenuGuiTest, NotificationsReachTheServerAndTheirButtonTheDelegate) {
    platform::qt::QtUserNotificationCenter center(*platform.application);
    center.deliver({"Title", "Text", "Show Service Logs", "showServiceLogsAction"});
    std::vector<std::string> notified;
    auto notifiedCount = [&](std::size_t count) {
        return spinUntil([&] {
            notified.clear();
            for (const auto& call : desktop->notifications.calls()) {
                if (call.starts_with("Notify ")) notified.push_back(call);
            }
            return notified.size() >= count;
        });
    };
    ASSERT_TRUE(notifiedCount(1));
    EXPECT_EQ(
        notified.front(),
        "Notify \"orvane-gui-test\" 0 \"\" \"Title\" \"Text\" [\"default\", \"\", \"action\", "
        "\"Show Service Logs\"] {} -1");
    // The server's answer (its first notification is number 1) and its signals travel apart:
    // each step waits for the one before to have arrived. An unknown notification and an
    // unknown key do nothing.
    ASSERT_TRUE(spinUntil([&] { return center.hasAction(1); }));
    desktop->notifications.invokeAction(99, "action");
    desktop->notifications.invokeAction(1, "other");
    desktop->notifications.invokeAction(1, "action");
    // Once closed, its action is gone.
    desktop->notifications.close(1);
    ASSERT_TRUE(spinUntil([&] { return !center.hasAction(1); }));
    desktop->notifications.invokeAction(1, "action");
    center.deliver({"Title", "Text", "About", "aboutAction"});
    ASSERT_TRUE(notifiedCount(2));
    ASSERT_TRUE(spinUntil([&] { return center.hasAction(2); }));
    desktop->notifications.invokeAction(2, "default");
    EXPECT_TRUE(spinUntil([&] { return responder.performed.size() >= 2; }));
    EXPECT_EQ(responder.performed,
              (std::vector<std::string>{"showServiceLogsAction", "aboutAction"}));
}

}  // namespace
