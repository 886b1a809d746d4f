// The session's language: which catalog it picks, and a few texts of each window in German and,
// exactly as they are written, in English.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>
#include <map>
#include <memory>

#include "platform/linux/host_computer_name.h"
#include "platform/linux/linux_service_management.h"
#include "platform/qt/qt_about_panel.h"
#include "platform/qt/qt_administrator_prompt.h"
#include "platform/qt/qt_status_window.h"
#include "platform/qt/qt_translations.h"
#include "platform/testing/memory_wizard_window.h"
#include "platform/testing/random_sequence.h"
#include "platform/testing/test_platform.h"
#include "platform/testing/url_scripted_session.h"
#include "platform/translation.h"
#include "tests/app/app_fixture.h"
#include "tests/app/app_services.h"
#include "wizard/setup_wizard_view_controller.h"

namespace {

using platform::qt::QtTranslations;

TEST(SessionLanguages, AreReadFromTheEnvironmentAsGettextReadsThem) {
    using Environment = std::map<std::string, std::string>;
    const struct {
        Environment environment;
        std::vector<std::string> languages;
    } rows[] = {
        {{}, {}},
        {{{"LANG", "de_DE.UTF-8"}}, {"de_DE", "de"}},
        {{{"LANG", "C.UTF-8"}}, {}},
        // LC_ALL over LC_MESSAGES over LANG.
        {{{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "de_CH.UTF-8@euro"}}, {"de_CH", "de"}},
        {{{"LC_ALL", "it_IT"}, {"LC_MESSAGES", "de_DE"}}, {"it_IT", "it"}},
        // LANGUAGE's list comes first, empty entries skipped, unless the locale is C.
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "de_AT::en"}}, {"de_AT", "de", "en"}},
        {{{"LANG", "C"}, {"LANGUAGE", "de"}}, {}},
    };
    for (const auto& row : rows) {
        const auto languages = platform::sessionLanguages([&](const char* name) -> const char* {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? nullptr : found->second.c_str();
        });
        EXPECT_EQ(languages, row.languages) << ::testing::PrintToString(row.environment);
    }
}

TEST(Placeholders, AreFilledInOnePassSoThatAValueIsNeverReadForMore) {
    EXPECT_EQ(platform::fillPlaceholders("%2 failed: %1", {"a %2 path", "Start"}),
              "Start failed: a %2 path");
    // One without a value stays as written, as does a percent sign of the text's own.
    EXPECT_EQ(platform::fillPlaceholders("100% of %1, %3", {"x"}), "100% of x, %3");
}

// The catalogs as the build put them in the bundle, one language at a time.
class InLanguage : public ::testing::Test {
protected:
    InLanguage() { ensureQtTestApplication(); }
    void use(const std::vector<std::string>& languages) {
        translations.reset();
        translations = std::make_shared<QtTranslations>(
            std::filesystem::path(ORVANE_BUNDLE_DIR) / "Contents/Resources/translations",
            languages);
        platform.services.translator = translations;
        platform.reinstall();
    }

    platform::testing::TestPlatform platform;
    std::shared_ptr<QtTranslations> translations;
};

TEST_F(InLanguage, TheFirstLanguageWithACatalogIsUsedAndEnglishOrNoneLeavesTheSources) {
    const struct {
        std::vector<std::string> asked;
        std::string used;
    } rows[] = {
        {{"de_AT", "de"}, "de"},
        {{"xx_YY", "xx", "de"}, "de"},
        {{"en_GB", "en", "de"}, ""},
        {{"xx"}, ""},
        {{}, ""},
    };
    for (const auto& row : rows) {
        use(row.asked);
        EXPECT_EQ(translations->language(), row.used) << ::testing::PrintToString(row.asked);
        // Qt's own catalog comes with ours, for the buttons and dialogs Qt draws itself.
        EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString(),
                  row.used.empty() ? "Cancel" : "Abbrechen");
    }
}

// As the app's delegate makes them: menu titles after a refresh finds the gateway stopped, the
// notice of that stop, and the last alert (with its button).
TEST_F(InLanguage, TheMenuTheStopNoticeAndAnAlertReadInTheLanguage) {
    const struct {
        std::vector<std::string> languages, texts;
    } rows[] = {
        {{"de"},
         {"Status: Angehalten", "orvane Storage Gateway starten", "Konfigurieren …", "Über Orvane",
          "Beenden",
          "Das Gateway wurde beendet / orvane Storage Gateway läuft nicht mehr. Status: Angehalten "
          "/ Protokolle des Dienstes anzeigen -> showServiceLogsAction",
          "Die Konfiguration konnte nicht geöffnet werden / Die orvane-URL oder die Speicher-ID "
          "konnte nicht aus der config.ini gelesen werden. Ist orvane Storage Gateway installiert? "
          "/ OK"}},
        {{"en"},
         {"Status: Stopped", "Start orvane Storage Gateway", "Configure...", "About Orvane", "Quit",
          "The gateway stopped / orvane Storage Gateway is no longer running. Status: Stopped / "
          "Show Service Logs -> showServiceLogsAction",
          "Failed to open Configuration / Could not get orvane URL or Storage ID from config.ini. "
          "Is orvane Storage Gateway installed? / OK"}},
    };
    platform.bundle->info = {{"CFBundleName", "Orvane"}};
    platform::testing::RecordingStatusBar statusBar;
    for (const auto& row : rows) {
        use(row.languages);
        platform.processes->setResult(app_test::statusResult(QorStatus::Running));
        AppDelegate delegate(
            app_test::appServices(platform, statusBar, *platform.xpc, *platform.serviceManagement));
        delegate.applicationDidFinishLaunching();
        platform.processes->setResult(app_test::statusResult(QorStatus::Stopped));
        delegate.updateMenu();
        delegate.perform("configureAction");
        platform.dispatch->runUntilIdle();

        std::vector<std::string> texts;
        for (std::size_t at : {0u, 1u, 3u, 11u, 12u})
            texts.push_back(delegate.statusBarItem()->menu()->items().at(at)->title());
        // at(): nothing delivered or shown fails the test instead of reading past the end.
        const auto& notices = platform.userNotifications->delivered;
        texts.push_back(notices.at(notices.size() - 1));
        const auto alerts = platform.alerts->shown();
        const auto& alert = alerts.at(alerts.size() - 1);
        texts.push_back(alert.messageText + " / " + alert.informativeText + " / " +
                        alert.buttons.at(0));
        EXPECT_EQ(texts, row.texts);
    }
}

// The About panel's lines, the no-tray notice's first clause, the sandbox's administrator prompt
// (its sentence, its list of rights and its buttons), joined by "|"; pictures in test-output/.
TEST_F(InLanguage, TheDesktopWindowsReadInTheSessionsLanguage) {
    struct NoTray : platform::qt::SystemTray {
        QString watcher() const override { return {}; }
        bool drawsMenus() const override { return false; }
        bool embeds() const override { return false; }
    };
    QApplication::setApplicationDisplayName("orvane Storage Gateway");
    QApplication::setWindowIcon(QIcon(ORVANE_BUNDLE_DIR "/Contents/Resources/AppIcon.png"));
    platform.bundle->info = {
        {"CFBundleName", "orvane Storage Gateway"},
        {"CFBundleShortVersionString", "1.0.0"},
        {"CFBundleVersion", "7"},
        {"NSHumanReadableCopyright", "Copyright © 2026 Velmora. All rights reserved."}};
    platform.processes->setResult({std::nullopt, false, 113, "not loaded"});
    const struct {
        const char *language, *texts;
    } rows[] = {
        {"de",
         "|orvane Storage Gateway|Version 1.0.0 (7)|Copyright © 2026 Velmora. Alle Rechte "
         "vorbehalten.|orvane Storage Gateway hat kein Symbol in der Leiste"
         "|orvane Storage Gateway versucht, ein neues Hilfsprogramm zu installieren."
         "|Angeforderte Rechte:\nx.y|Hilfsprogramm &installieren|Abbrechen"},
        {"en",
         "|orvane Storage Gateway|Version 1.0.0 (7)|Copyright © 2026 Velmora. All rights "
         "reserved.|orvane Storage Gateway has no icon in the panel"
         "|orvane Storage Gateway is trying to install a new helper tool."
         "|Rights requested:\nx.y|&Install Helper|Cancel"},
    };
    for (const auto& row : rows) {
        use({row.language});
        const QString folder = QString(ORVANE_TEST_OUTPUT_DIR "/") + row.language + "/";
        std::filesystem::create_directories(folder.toStdString());
        auto keep = [&](QWidget& w, const char* png) { EXPECT_TRUE(w.grab().save(folder + png)); };
        platform::qt::QtAboutPanel about(*platform.bundle);
        QStringList seen;
        for (auto* label : about.findChildren<QLabel*>()) seen << label->text();
        keep(about, "about.png");

        platform::qt::QtStatusBar bar(*platform.bundle, std::make_shared<NoTray>(), 0);
        AppDelegate delegate(
            app_test::appServices(platform, bar, *platform.xpc, *platform.serviceManagement));
        delegate.applicationDidFinishLaunching();
        platform.dispatch->runUntilIdle();
        for (int i = 0; i < 100 && !bar.statusWindow(); ++i) QApplication::processEvents();
        ASSERT_NE(bar.statusWindow(), nullptr);
        seen << bar.statusWindow()->notice().text().section(':', 0, 0);
        keep(*bar.statusWindow(), "status-window-no-tray.png");

        // Answered with Escape's button once it is up.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            seen << box->text() << box->informativeText().section("\n\n", 1);
            for (auto* button : box->buttons()) seen << button->text();
            keep(*box, "administrator-prompt.png");
            box->escapeButton()->click();
        });
        platform::qt::QtAdministratorPrompt(*platform.dispatch).askForRights({"x.y"});
        EXPECT_EQ(seen.join("|").toStdString(), row.texts);
    }
}

// The wizard: a sign-in without the service's address, a form with a missing folder, a refused
// Finish, and an existing storage on an unmounted share.
TEST_F(InLanguage, TheWizardsStepsReadInTheLanguage) {
    // Every reply is both a storage and a list of one; the finish's application is not found.
    static constexpr char kStorages[] =
        R"({"id": "x", "name": "X", "settings": {"mount_point": "/n"},
        "objects": [{"id": "x", "name": "X", "settings": {"mount_point": "/n"}}]})";
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"de",
         {("Die Anmeldung konnte nicht gestartet werden: Die Datei config.ini von orvane "
           "Storage Gateway ist nicht lesbar."),
          "Ungültiger Ordner: Dieser Pfad existiert nicht", "Fertigstellen", "Konfigurationsfehler",
          "In orvane konnte keine neue App angelegt werden\n\nHTTP-Anfrage fehlgeschlagen (404)",
          ("Der ausgewählte QOR verweist nicht auf einen lokalen Ordner. Wenn es sich um einen "
           "Netzwerkordner handelt, stellen Sie sicher, dass er eingehängt ist.\n\nPfad: /n")}},
        {"en",
         {"Could not start login, failed to parse orvane Storage Gateway config.ini",
          "Invalid folder, this path does not exist", "Finish", "Configuration error",
          "Failed to create a new app in orvane\n\nHTTP request failed (404)",
          ("The selected QOR does not point to a local folder. If this is a network folder "
           "make sure it is mounted\n\nPath: /n")}},
    };
    for (const auto& [language, texts] : rows) {
        use({language});
        using Session = platform::testing::ScriptedUrlSession;
        auto session = std::make_shared<Session>(platform.dispatch->makeSerialQueue("url"));
        session->responder = [](const platform::UrlRequest& request) {
            const bool app = request.url.find("/apps/") != std::string::npos;
            return app ? Session::Reply::http(404) : Session::Reply::http(200, kStorages);
        };
        platform.services.urlSession = session;
        platform.services.random = std::make_shared<platform::testing::SequenceRandom>();
        platform.reinstall();
        platform::testing::MemoryWizardWindow window;
        const platform::linux_impl::HostComputerName name;
        auto wizard = std::make_shared<SetupWizardViewController>(window, *platform.application,
                                                                  name, *platform.dispatch);
        const auto next = [&](SetupStep step) {
            wizard->selectNewSetupStep(step);
            wizard->mainNextButtonClick();
            platform.dispatch->runUntilIdle();
        };
        platform.writeConfig("");
        next(SetupStep::initial);
        std::vector<std::string> shown{window.initialLoginErrorTextField.text};
        platform.writeConfig("orvane-url = https://orvane.test/\n");
        window.newQorPathTextField.text = "/nowhere";
        next(SetupStep::newQorSetup);
        shown.push_back(window.newQorPathErrorLabel.text);
        window.newQorPathTextField.text = platform.root.path();
        window.newQorNameTextField.text = "S";
        next(SetupStep::newQorSetup);
        shown.push_back(window.mainNextButton.titleText);
        next(SetupStep::finish);
        const auto alerts = platform.alerts->shown();
        ASSERT_FALSE(alerts.empty());
        shown.insert(shown.end(), {alerts.back().messageText, alerts.back().informativeText});
        window.newQorRadioButton.controlState = platform::ControlState::Off;
        next(SetupStep::newOrExisting);
        shown.push_back(window.existingQorWarningTextField.text);
        EXPECT_EQ(shown, texts) << language;
    }
}

// A packaged helper that is missing, as the platform's layer says it: English for the log, the
// session's language for the alert.
TEST_F(InLanguage, TheHelpersInstallationErrorIsShownInTheLanguageAndLoggedInEnglish) {
    use({"de"});
    platform::linux_impl::LinuxServiceManagement blesser(
        platform.paths, platform.processes, platform.bundle->bundlePath(),
        platform::linux_impl::InstallationKind::package);
    std::optional<platform::ServiceManagementError> error;
    EXPECT_FALSE(blesser.jobBless(platform::kSMDomainSystemLaunchd,
                                  "com.velmora.QorPrivilegedHelper",
                                  platform::AuthorizationReference(), error));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->localizedDescription,
              "The helper tool is not installed or does not match this version of the app. "
              "Reinstall the orvane-storage-gateway package.");
    EXPECT_EQ(error->shownDescription,
              "Das Hilfsprogramm ist nicht installiert oder passt nicht zu dieser Version der "
              "Anwendung. Installieren Sie das Paket orvane-storage-gateway erneut.");
}

}  // namespace
