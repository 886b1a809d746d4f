#include "platform/qt/qt_shared_application.h"

#include <QApplication>
#include <QWidget>

#include "platform/qt/qt_about_panel.h"

namespace platform::qt {

QtSharedApplication::~QtSharedApplication() { delete aboutPanel_.data(); }

void QtSharedApplication::activateIgnoringOtherApps() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        window->raise();
        window->activateWindow();
    }
}

void QtSharedApplication::terminate() { QApplication::quit(); }

void QtSharedApplication::orderFrontStandardAboutPanel() {
    if (!aboutPanel_) {
        aboutPanel_ = new QtAboutPanel(bundle_);
        aboutPanel_->setAttribute(Qt::WA_DeleteOnClose);
    }
    aboutPanel_->show();
    aboutPanel_->raise();
    aboutPanel_->activateWindow();
}

}  // namespace platform::qt
