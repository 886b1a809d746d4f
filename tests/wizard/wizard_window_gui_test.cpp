// The real wizard window, offscreen: its file loads, its buttons reach the controller, and each
// step is rendered for a person to look at, in English and in German.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "platform/linux/host_computer_name.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_translations.h"
#include "platform/qt/qt_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/url_scripted_session.h"
#include "platform/translation.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using namespace platform::testing;
using Reply = ScriptedUrlSession::Reply;

// The parameter is the session's language; the texts expected are the catalog's for the source.
class WizardWindowGuiTest : public ::testing::TestWithParam<std::string> {
protected:
    static void SetUpTestSuite() { ensureQtTestApplication(); }

    // The service signs a POWER user in at the first poll, unless told that nobody signs in, and
    // makes any storage it is asked for.
    WizardWindowGuiTest() {
        session->responder = [this](const platform::UrlRequest& request) {
            if (request.url.find("/external/auth/") != std::string::npos) {
                return signsIn ? Reply::http(200, R"({"app_id": "a", "token": "t"})")
                               : Reply::http(404);
            }
            if (request.url.ends_with("users/current/"))
                return Reply::http(200, R"({"id": "u", "email": "e", "type": "POWER"})");
            if (request.method != "POST") return Reply::http(404);
            return Reply::http(201,
                               R"({"id": "st-1", "name": "S", "settings": {"mount_point": "/"}})");
        };
        platform.services.urlSession = session;
        platform.services.clipboard = std::make_shared<platform::qt::QtClipboard>();
        platform.services.translator = translations;
        platform.services.random = std::make_shared<SequenceRandom>();
        platform.reinstall();
        platform.writeConfig("orvane-url = https://orvane.test/\n");
        controller = std::make_shared<SetupWizardViewController>(window, *platform.application,
                                                                 name, *platform.dispatch);
        window.setContent(controller);
    }
    ~WizardWindowGuiTest() override { window.widget()->hide(); }

    template <class T>
    T* child(const char* name) {
        return window.widget()->findChild<T*>(QString::fromLatin1(name));
    }
    void save(const std::string& step, QWidget* widget = nullptr) {
        QApplication::processEvents();
        const std::filesystem::path dir =
            std::filesystem::path(ORVANE_TEST_OUTPUT_DIR) / (GetParam() == "en" ? "" : GetParam());
        std::filesystem::create_directories(dir);
        const auto file = dir / ("wizard-" + step + ".png");
        EXPECT_TRUE((widget ? widget : window.widget())
                        ->grab()
                        .save(QString::fromStdString(file.string())));
    }

    TestPlatform platform;
    std::shared_ptr<ScriptedUrlSession> session =
        std::make_shared<ScriptedUrlSession>(platform.dispatch->makeSerialQueue("url"));
    bool signsIn = true;
    platform::linux_impl::HostComputerName name;
    // Before the window, whose file looks its texts up as it loads.
    std::shared_ptr<platform::qt::QtTranslations> translations =
        std::make_shared<platform::qt::QtTranslations>(
            std::filesystem::path(ORVANE_BUNDLE_DIR) / "Contents/Resources/translations",
            std::vector<std::string>{GetParam()});
    platform::qt::QtWizardWindow window{*platform.dispatch};
    std::shared_ptr<SetupWizardViewController> controller;
};

INSTANTIATE_TEST_SUITE_P(Languages, WizardWindowGuiTest, ::testing::Values("en", "de"),
                         [](const auto& info) { return info.param; });

TEST_P(WizardWindowGuiTest, EveryStepRenders) {
    const auto& ui = window.outlets();
    window.makeKeyAndOrderFront();
    save("initial");
    platform.writeCompleteConfig();
    controller->selectNewSetupStep(SetupStep::initial);
    EXPECT_EQ(ui.mainHeaderField->stringValue(),
              platform::translate("SetupWizardWindow", "Reconfigure orvane Storage Gateway"));
    save("initial-reconfigure");
    controller->selectNewSetupStep(SetupStep::newOrExisting);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(child<QLabel>("mainHeaderField"))
                  ->text(QAccessible::Name),
              QString::fromStdString(platform::translate("SetupWizardWindow", "Choose a storage")))
        << "a screen reader names the step";
    save("newOrExisting");

    // The form's own checks fill in its errors.
    controller->selectNewSetupStep(SetupStep::newQorSetup);
    ui.newQorNameTextField->setStringValue("");
    ui.newQorPathTextField->setStringValue("/Volumes/Media");
    child<QPushButton>("mainNextButton")->click();
    save("newQorSetup-errors");

    // A storage whose folder is missing warns on both screens; the list hands back its entry.
    controller->selectNewSetupStep(SetupStep::chooseExistingQor);
    ui.existingQorSelector->addItemWithTitle("Archive");
    ui.existingQorSelector->setRepresentedObjectOfLastItem(
        ExistingStorageEntry{"s1", "Archive", "/Volumes/Media Archive"});
    controller->existingQorListAction();
    EXPECT_FALSE(child<QLabel>("existingQorPathWarning")->accessibleDescription().isEmpty())
        << "the icon tells a screen reader its warning";
    save("chooseExistingQor-warning");
    child<QPushButton>("mainNextButton")->click();
    EXPECT_EQ(controller->chosenStorageId(), "s1");
    auto* name = child<QLineEdit>("finishQorNameLabel");
    auto* path = child<QLineEdit>("finishQorPathWidget");
    EXPECT_EQ(path->text().toStdString(), "/Volumes/Media Archive");
    save("finish");
    // Read-only fields are text on the window, and the two line up with or without the icon.
    const QImage field = name->grab().toImage();
    EXPECT_EQ(field.pixelColor(field.width() - 3, field.height() / 2),
              window.widget()->palette().color(QPalette::Window));
    for (const bool warned : {true, false}) {
        ui.finishQorPathWarning->setHidden(!warned);
        QApplication::processEvents();
        EXPECT_EQ(name->geometry().right(), path->geometry().right()) << warned;
    }
    // Each field is named by its label.
    const auto labels = window.widget()->findChildren<QLabel*>();
    for (const char* field : {"newQorNameTextField", "newQorPathTextField", "existingQorSelector",
                              "finishQorNameLabel", "finishQorPathWidget"}) {
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* label) {
            return label->buddy() && label->buddy()->objectName() == QString::fromLatin1(field);
        })) << field;
    }
}

// With the keyboard alone: each step starts at its first field or at Next, Tab visits only what
// is shown, Return is Next and Escape is Cancel. While the browser sign-in waits, the keyboard is
// at the step's first button, and the buttons reach the desktop's clipboard and the workspace.
TEST_P(WizardWindowGuiTest, TheKeyboardAloneGoesThroughTheWizard) {
    signsIn = false;
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget(), key);
        platform.dispatch->advance(platform::seconds(1));
        QApplication::processEvents();
    };
    // The controls Tab visits, from the focused one until it is back there.
    const auto tabCycle = [&] {
        std::vector<std::string> names;
        const QWidget* start = QApplication::focusWidget();
        for (const QWidget* at = start; at && names.size() < 12;) {
            EXPECT_TRUE(at->isVisible()) << at->objectName().toStdString();
            names.push_back(at->objectName().toStdString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if ((at = QApplication::focusWidget()) == start) break;
        }
        return names;
    };
    using Names = std::vector<std::string>;
    window.makeKeyAndOrderFront();
    QApplication::processEvents();
    EXPECT_EQ(platform.application->activationPolicy(), platform::ActivationPolicy::Regular);
    EXPECT_EQ(tabCycle(), (Names{"mainNextButton", "mainCancelButton"}));
    press(Qt::Key_Return);
    save("signing-in");
    EXPECT_EQ(QApplication::focusWidget(), child<QWidget>("openSignInPageAgainButton"))
        << "not Cancel, where a second Return would end the sign-in";
    child<QPushButton>("copySignInAddressButton")->click();
    child<QPushButton>("openSignInPageAgainButton")->click();
    ASSERT_EQ(platform.workspace->openedURLs().size(), 2u) << "opened again";
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), platform.workspace->openedURLs()[0]);
    signsIn = true;
    platform.dispatch->advance(platform::seconds(3));
    QApplication::processEvents();
    EXPECT_TRUE(child<QWidget>("initialSignInWaitingBox")->isHidden());
    EXPECT_EQ(tabCycle(), (Names{"newQorRadioButton", "mainCancelButton", "mainPreviousButton",
                                 "mainNextButton"}));
    press(Qt::Key_Return);
    EXPECT_EQ(tabCycle(),
              (Names{"newQorNameTextField", "newQorPathTextField", "newQorChoosePathButton",
                     "mainCancelButton", "mainPreviousButton", "mainNextButton"}));
    press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(platform.root.path()));
    press(Qt::Key_Return);
    EXPECT_EQ(controller->getCurrentSetupStep(), SetupStep::finish);
    EXPECT_EQ(tabCycle(),
              (Names{"mainNextButton", "finishQorNameLabel", "finishQorPathWidget",
                     "advancedStorageSettingsButton", "mainCancelButton", "mainPreviousButton"}));
    press(Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(platform.application->activationPolicy(), platform::ActivationPolicy::Accessory);
    EXPECT_EQ(session->sent().back().method, "DELETE");
}

TEST_P(WizardWindowGuiTest, TheFolderChooserPicksOneFolderWithSelect) {
    platform::testing::TempDir folder;
    const auto picked = folder.path() / "picked";
    std::filesystem::create_directory(picked);
    std::string acceptLabel, opensAt;
    bool directories = false, readOnly = true;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!shown) return;
        acceptLabel = shown->labelText(QFileDialog::Accept).toStdString();
        opensAt = shown->directory().absolutePath().toStdString();
        directories = shown->fileMode() == QFileDialog::Directory;
        readOnly = shown->testOption(QFileDialog::ReadOnly);
        shown->setDirectory(QString::fromStdString(folder.path().string()));
        shown->selectFile(QString::fromStdString(picked.string()));
        QApplication::processEvents();
        save("folder-chooser", shown);
        QMetaObject::invokeMethod(shown, "accept");
    });
    // The form's chooser opens at the folder typed.
    const auto& path = *window.outlets().newQorPathTextField;
    window.outlets().newQorPathTextField->setStringValue(folder.path().string());
    controller->newQorChoosePathClicked();
    EXPECT_EQ(acceptLabel, platform::translate("SetupWizard", "Select"));
    EXPECT_EQ(opensAt, folder.path().string());
    EXPECT_TRUE(directories);
    EXPECT_FALSE(readOnly) << "new folders can be made";
    EXPECT_EQ(path.stringValue(), picked.string());
}

}  // namespace
