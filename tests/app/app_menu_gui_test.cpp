// The real Qt menu and icon, offscreen: what a person would see in the panel.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QPixmap>
#include <filesystem>

#include "app/app_delegate.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/testing/test_platform.h"

namespace {

using namespace platform::testing;

class RecordingResponder : public platform::Responder {
public:
    bool perform(const platform::Selector& selector) override {
        performed.push_back(selector);
        return true;
    }
    std::vector<std::string> performed;
};

class AppMenuGuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureQtTestApplication(); }

    AppMenuGuiTest() : bundle(ORVANE_BUNDLE_DIR), statusBar(bundle) {
        for (const char* icon : {"StatusBarIcon", "StatusBarIconError", "StatusBarIconStopped"}) {
            bundle.resources.push_back(std::string(icon) + ".png");
            bundle.resources.push_back(std::string(icon) + "@2x.png");
        }
        bundle.info = {{"CFBundleName", "Orvane Storage Gateway"}};
        platform.processes->setResult({std::nullopt, false, 113, "not loaded"});
        delegate = std::make_unique<AppDelegate>(statusBar, *platform.dispatch, *platform.defaults,
                                                 bundle, *platform.xpc, *platform.serviceManagement,
                                                 *platform.application);
        statusBar.setResponder(&responder);
        delegate->applicationDidFinishLaunching();
        menu = std::dynamic_pointer_cast<platform::qt::QtMenu>(delegate->statusBarItem()->menu());
    }
    ~AppMenuGuiTest() override { statusBar.setResponder(nullptr); }

    // Titles of what the menu shows, joined by " | ": "-" for a separator, "(on)" after a checked
    // item, "(off)" after a disabled one.
    std::string visible() const {
        std::string out;
        for (QAction* action : menu->qmenu()->actions()) {
            if (!action->isVisible()) continue;
            if (!out.empty()) out += " | ";
            const std::string title = action->text().toStdString() +
                                      (action->isChecked() ? " (on)" : "") +
                                      (action->isEnabled() ? "" : " (off)");
            out += action->isSeparator() ? "-" : title;
        }
        return out;
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

    TestPlatform platform;
    FakeBundle bundle;
    platform::qt::QtStatusBar statusBar;
    RecordingResponder responder;
    std::unique_ptr<AppDelegate> delegate;
    std::shared_ptr<platform::qt::QtMenu> menu;
};

TEST_F(AppMenuGuiTest, ShowsTheMenuAndTheIconAsAPersonSeesThem) {
    ASSERT_NE(menu, nullptr);
    const std::string normal =
        "Status: Stopped (off) | Start orvane Storage Gateway | - | Configure... (off) | "
        "Setup Wizard... | Start at boot (on) | - | Show Service Logs | - | "
        "About Orvane Storage Gateway | Quit";
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
    EXPECT_EQ(visible(), normal);
    alt(QEvent::KeyPress);
    EXPECT_TRUE(menu->qmenu()->isVisible()) << "the Alt press must not close the menu";
    EXPECT_EQ(visible(), withAlt);
    EXPECT_TRUE(
        menu->qmenu()->grab().save(QString::fromStdString(output("menu-alternates.png").string())));
    alt(QEvent::KeyRelease);
    EXPECT_EQ(visible(), normal);
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

    // The status icon is a template: it is drawn in the panel's text colour.
    auto& tray = statusBar.statusItems().at(0)->trayIcon();
    const QImage icon = tray.icon().pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(icon.isNull());
    const QColor text = QGuiApplication::palette().color(QPalette::WindowText);
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor pixel = icon.pixelColor(x, y);
            if (pixel.alpha() < 255) continue;
            ++opaque;
            EXPECT_EQ(pixel.rgb(), text.rgb()) << "at " << x << "," << y;
        }
    }
    EXPECT_GT(opaque, 20) << "the icon must draw something at 22 px";
}

}  // namespace
