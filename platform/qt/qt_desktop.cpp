#include "platform/qt/qt_desktop.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdlib>

#include "platform/qt/qt_administrator_prompt.h"
#include "platform/qt/qt_alert_presenter.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/qt/qt_dispatch.h"
#include "platform/qt/qt_shared_application.h"
#include "platform/qt/qt_show_folder.h"
#include "platform/qt/qt_status_bar.h"
#include "platform/qt/qt_translations.h"
#include "platform/qt/qt_user_notification_center.h"
#include "platform/qt/qt_wizard_window.h"

namespace platform::qt {

struct QtDesktop::Parts {
    Parts(int& argc, char** argv, const Bundle& bundle)
        : app(argc, argv),
          // Before any window is made: the wizard's texts are looked up as it is built.
          translations(std::make_shared<QtTranslations>(
              bundle.bundlePath() / "Contents/Resources/translations",
              sessionLanguages(std::getenv))),
          // Never destroyed, like the installed services and their worker threads: a sign-in
          // poll still running at Quit asks it for the activation policy from the global queue.
          // The bundle it reads is one of those services.
          application(*new QtSharedApplication(bundle)),
          statusBar(bundle),
          userNotifications(std::make_shared<QtUserNotificationCenter>(application)),
          wizardWindow(*dispatch) {}

    QApplication app;
    std::shared_ptr<QtTranslations> translations;
    QtSharedApplication& application;
    std::shared_ptr<Dispatch> dispatch = std::make_shared<QtDispatch>();
    QtStatusBar statusBar;
    std::shared_ptr<QtUserNotificationCenter> userNotifications;
    QtWizardWindow wizardWindow;
};

QtDesktop::QtDesktop(int& argc, char** argv, const std::shared_ptr<Bundle>& bundle)
    : parts_(std::make_unique<Parts>(argc, argv, *bundle)) {
    // A menu-bar application lives on after its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationDisplayName(
        QString::fromStdString(bundle->infoString("CFBundleName").value_or("App")));
    if (auto icon = bundle->resourcePath("AppIcon", "png"))
        QApplication::setWindowIcon(QIcon(QString::fromStdString(icon->string())));
    parts_->userNotifications->setFallbackTray([&statusBar = parts_->statusBar] {
        const auto& items = statusBar.statusItems();
        return items.empty() ? nullptr : items.front()->embeddedIcon();
    });
}

// The notification center lives on: it lets go of the status bar, which goes here.
QtDesktop::~QtDesktop() { parts_->userNotifications->setFallbackTray(nullptr); }

const std::shared_ptr<Dispatch>& QtDesktop::dispatch() const { return parts_->dispatch; }
SharedApplication& QtDesktop::application() const { return parts_->application; }
StatusBar& QtDesktop::statusBar() const { return parts_->statusBar; }
WizardWindow& QtDesktop::wizardWindow() const { return parts_->wizardWindow; }
std::shared_ptr<UserNotificationCenter> QtDesktop::userNotifications() const {
    return parts_->userNotifications;
}

std::shared_ptr<Translator> QtDesktop::translator() const { return parts_->translations; }

std::shared_ptr<AlertPresenter> QtDesktop::makeAlertPresenter() const {
    return std::make_shared<QtAlertPresenter>(*parts_->dispatch);
}
std::shared_ptr<AdministratorPrompt> QtDesktop::makeAdministratorPrompt() const {
    return std::make_shared<QtAdministratorPrompt>(*parts_->dispatch);
}
std::shared_ptr<Clipboard> QtDesktop::makeClipboard() const {
    return std::make_shared<QtClipboard>();
}

void QtDesktop::showFolder(const std::string& uri, std::function<void(bool shown)> done) {
    showFolderWithFileManager(uri, std::move(done));
}

void QtDesktop::showStatusWindow() { parts_->statusBar.showStatusWindow(); }

int QtDesktop::run(ApplicationDelegate& delegate) {
    parts_->statusBar.setResponder(&delegate);
    parts_->application.setDelegate(&delegate);
    QTimer::singleShot(0, [&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = QApplication::exec();
    parts_->statusBar.setResponder(nullptr);
    parts_->application.setDelegate(nullptr);
    return status;
}

}  // namespace platform::qt
