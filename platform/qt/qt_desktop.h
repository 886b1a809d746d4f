#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/alert.h"
#include "platform/application.h"
#include "platform/authorization.h"
#include "platform/bundle.h"
#include "platform/clipboard.h"
#include "platform/dispatch.h"
#include "platform/status_bar.h"
#include "platform/translation.h"
#include "platform/user_notifications.h"
#include "platform/wizard_controls.h"

namespace platform::qt {

// The Qt side of the running application, for a composition root that includes nothing of Qt:
// the event loop and the objects only Qt makes. What it hands out lives as long as it does, but
// the dispatch, the notification center and the shared application, which live on: worker
// threads still finishing at Quit may reach them.
class QtDesktop {
public:
    // Starts the Qt application, titled and with the icon the bundle names, in the session's
    // language where the bundle has a catalog for it; argc and argv outlive this object.
    QtDesktop(int& argc, char** argv, const std::shared_ptr<Bundle>& bundle);
    ~QtDesktop();
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    // Its main queue is Qt's event loop.
    const std::shared_ptr<Dispatch>& dispatch() const;
    SharedApplication& application() const;
    StatusBar& statusBar() const;
    WizardWindow& wizardWindow() const;
    std::shared_ptr<UserNotificationCenter> userNotifications() const;
    // The session's language, as the application's windows use it; lives on with the services.
    std::shared_ptr<Translator> translator() const;
    std::shared_ptr<AlertPresenter> makeAlertPresenter() const;
    std::shared_ptr<AdministratorPrompt> makeAdministratorPrompt() const;
    std::shared_ptr<Clipboard> makeClipboard() const;
    // Shows a folder (a file: URI) through the desktop's file manager.
    static void showFolder(const std::string& uri, std::function<void(bool shown)> done);

    // For a second launch: the status window, shown whether or not there is a tray. Main thread.
    void showStatusWindow();
    // Delivers the launch to `delegate` from the event loop and runs the loop until the
    // application quits; until then `delegate` answers the menu and the application. Returns the
    // exit status.
    int run(ApplicationDelegate& delegate);

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace platform::qt
