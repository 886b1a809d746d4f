#include "platform/qt/qt_shared_application.h"

#include <QApplication>
#include <QWidget>

namespace platform::qt {

void QtSharedApplication::activateIgnoringOtherApps() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        window->raise();
        window->activateWindow();
    }
}

void QtSharedApplication::terminate() { QApplication::quit(); }

}  // namespace platform::qt
