#pragma once

#include <QLabel>
#include <QWidget>

#include "platform/qt/qt_status_bar.h"

namespace platform::qt {

// A status item's menu as a small window: its lines as labels, its commands as buttons (the
// alternates among them, whether or not the menu shows them), each following its item's title,
// enabled state and check mark.
class QtStatusWindow : public QWidget {
public:
    QtStatusWindow(const QtMenu& menu, const QString& notice);
    // The notice says why the window is there; it goes once a tray shows the icon.
    void setNoticeVisible(bool visible) { notice_->setVisible(visible); }
    const QLabel& notice() const { return *notice_; }

private:
    QLabel* notice_;
};

}  // namespace platform::qt
