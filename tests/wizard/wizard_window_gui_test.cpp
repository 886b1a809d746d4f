// The real wizard window, offscreen: its file loads, its buttons reach the controller, and each
// step is rendered for a person to look at.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "platform/linux/host_computer_name.h"
#include "platform/qt/qt_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/test_platform.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using namespace platform::testing;

class WizardWindowGuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureQtTestApplication(); }

    WizardWindowGuiTest() {
        platform.services.random = std::make_shared<SequenceRandom>();
        platform.reinstall();
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
        const std::filesystem::path dir = ORVANE_TEST_OUTPUT_DIR;
        std::filesystem::create_directories(dir);
        const auto file = dir / ("wizard-" + step + ".png");
        EXPECT_TRUE((widget ? widget : window.widget())
                        ->grab()
                        .save(QString::fromStdString(file.string())));
    }

    TestPlatform platform;
    platform::linux_impl::HostComputerName name;
    platform::qt::QtWizardWindow window{*platform.dispatch};
    std::shared_ptr<SetupWizardViewController> controller;
};

TEST_F(WizardWindowGuiTest, ButtonsReachTheControllerAndTheCloseButtonClosesTheWizard) {
    // No orvane-url: Next shows the sign-in error in the window itself.
    window.makeKeyAndOrderFront();
    EXPECT_EQ(platform.application->activationPolicy(), platform::ActivationPolicy::Regular);
    child<QPushButton>("mainNextButton")->click();
    auto* error = child<QLabel>("initialLoginErrorTextField");
    EXPECT_TRUE(error->isVisible());
    EXPECT_TRUE(error->text().startsWith("Could not start login"));
    save("initial-error");

    child<QPushButton>("mainCancelButton")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(platform.application->activationPolicy(), platform::ActivationPolicy::Accessory);
}

TEST_F(WizardWindowGuiTest, EveryStepRenders) {
    const auto& ui = window.outlets();
    window.makeKeyAndOrderFront();
    save("initial");
    platform.writeCompleteConfig();
    controller->selectNewSetupStep(SetupStep::initial);
    EXPECT_EQ(ui.mainHeaderField->stringValue(), "Reconfigure orvane Storage Gateway");
    save("initial-reconfigure");
    controller->selectNewSetupStep(SetupStep::newOrExisting);
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
    EXPECT_EQ(child<QLineEdit>("finishQorPathWidget")->text().toStdString(),
              "/Volumes/Media Archive");
    save("finish");
}

TEST_F(WizardWindowGuiTest, TheFolderChooserPicksOneFolderWithSelect) {
    platform::testing::TempDir folder;
    std::string acceptLabel;
    bool directories = false, readOnly = true;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!shown) return;
        acceptLabel = shown->labelText(QFileDialog::Accept).toStdString();
        directories = shown->fileMode() == QFileDialog::Directory;
        readOnly = shown->testOption(QFileDialog::ReadOnly);
        shown->setDirectory(QString::fromStdString(folder.path().string()));
        shown->selectFile(QString::fromStdString(folder.path().string()));
        QApplication::processEvents();
        save("folder-chooser", shown);
        QMetaObject::invokeMethod(shown, "accept");
    });
    const auto choice = window.runFolderChooser({});
    EXPECT_EQ(acceptLabel, "Select");
    EXPECT_TRUE(directories);
    EXPECT_FALSE(readOnly) << "new folders can be made";
    EXPECT_TRUE(choice.confirmed);
    EXPECT_EQ(choice.url, platform::fileURLWithPath(folder.path().string()));
}

TEST_F(WizardWindowGuiTest, TextFieldsHaveBuddyLabels) {
    const auto labels = window.widget()->findChildren<QLabel*>();
    for (const char* field : {"newQorNameTextField", "newQorPathTextField", "existingQorSelector",
                              "finishQorNameLabel", "finishQorPathWidget"}) {
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* label) {
            return label->buddy() && label->buddy()->objectName() == QString::fromLatin1(field);
        })) << field;
    }
}

}  // namespace
