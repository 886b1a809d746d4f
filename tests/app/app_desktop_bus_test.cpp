// The desktop's side of the bus, as a panel and a notification server see the app: a private
// X display and session bus with a status notifier watcher of ours and a notification server.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <thread>

#include "app/app_delegate.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/qt/qt_user_notification_center.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"

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
template <typename Done>
bool spinUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class AppDesktopBusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempDir>();
        display = std::make_unique<PrivateDisplay>();
        tray = std::make_unique<MockStatusTray>(folder->path());
        notifications = std::make_unique<MockNotifications>(folder->path(), *tray);
        // Where Qt exports status icons on X11: its own platform, not the offscreen one.
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ensureQtTestApplication();
    }
    static void TearDownTestSuite() {
        notifications.reset();
        tray.reset();
        display.reset();
        folder.reset();
    }

    static inline std::unique_ptr<TempDir> folder;
    static inline std::unique_ptr<PrivateDisplay> display;
    static inline std::unique_ptr<MockStatusTray> tray;
    static inline std::unique_ptr<MockNotifications> notifications;
    TestPlatform platform;
    RecordingDelegate delegate;
};

TEST_F(AppDesktopBusTest, ThePanelsMenuHasEveryItemAndTheAlternatesAsItemsOfTheirOwn) {
    FakeBundle bundle(ORVANE_BUNDLE_DIR);
    for (const char* icon : {"StatusBarIcon", "StatusBarIconError", "StatusBarIconStopped"}) {
        bundle.resources.push_back(std::string(icon) + ".png");
    }
    bundle.info = {{"CFBundleName", "Orvane Storage Gateway"}};
    platform.processes->setResult({std::nullopt, false, 113, "not loaded"});
    platform::qt::QtStatusBar statusBar(bundle);
    AppDelegate app(statusBar, *platform.dispatch, *platform.defaults, bundle, *platform.xpc,
                    *platform.serviceManagement, *platform.application);
    app.applicationDidFinishLaunching();

    QStringList rows;
    auto read =
        QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                       "org.freedesktop.DBus.Mock", "MenuRows");
    ASSERT_TRUE(spinUntil([&] {
        // The panel's reads are answered by this thread's event loop, which the call keeps
        // running.
        rows = QDBusConnection::sessionBus()
                   .call(read, QDBus::BlockWithGui)
                   .arguments()
                   .value(0)
                   .toStringList();
        return !rows.isEmpty();
    })) << "the icon never registered with the watcher";
    EXPECT_EQ(
        rows.join(" | ").toStdString(),
        "Status: Stopped (off) | Start orvane Storage Gateway | - | Configure... (off) | "
        "Setup Wizard... | Start at boot (on) | Show Configuration Backups (off) | - | "
        "Show Service Logs | Show Application Logs | - | About Orvane Storage Gateway | Quit");
}

TEST_F(AppDesktopBusTest, NotificationsReachTheServerAndTheirButtonTheDelegate) {
    platform.application->applicationDelegate = &delegate;
    platform::qt::QtUserNotificationCenter center(*platform.application);
    center.deliver({"Title", "Text", "Show Service Logs", "showServiceLogsAction"});
    std::vector<std::string> notified;
    auto notifiedCount = [&](std::size_t count) {
        return spinUntil([&] {
            notified.clear();
            for (const auto& call : notifications->calls()) {
                if (call.starts_with("Notify ")) notified.push_back(call);
            }
            return notified.size() >= count;
        });
    };
    ASSERT_TRUE(notifiedCount(1));
    EXPECT_EQ(notified.front(),
              "Notify \"orvane-gui-test\" 0 \"\" \"Title\" \"Text\" [\"default\", \"Show Service "
              "Logs\", \"action\", \"Show Service Logs\"] {} -1");
    // The server's first notification is number 1; an unknown one and an unknown key do nothing.
    notifications->invokeAction(2, "action");
    notifications->invokeAction(1, "other");
    notifications->invokeAction(1, "action");
    // Once closed, its action is gone. The bus keeps the order, so by the time the second one's
    // button arrives, what came before has been handled.
    notifications->close(1);
    notifications->invokeAction(1, "action");
    center.deliver({"Title", "Text", "About", "aboutAction"});
    ASSERT_TRUE(notifiedCount(2));
    notifications->invokeAction(2, "default");
    EXPECT_TRUE(spinUntil([&] { return delegate.performed.size() >= 2; }));
    EXPECT_EQ(delegate.performed,
              (std::vector<std::string>{"showServiceLogsAction", "aboutAction"}));
}

}  // namespace
