#include "platform/qt/qt_alert_presenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "platform/translation.h"

namespace platform::qt {
namespace {

QMessageBox::Icon iconFor(AlertStyle style) {
    switch (style) {
        case AlertStyle::Warning: return QMessageBox::Warning;
        case AlertStyle::Critical: return QMessageBox::Critical;
        case AlertStyle::Informational: break;
    }
    return QMessageBox::Information;
}

}  // namespace

int QtAlertPresenter::runModal(const Alert& alert) {
    QMessageBox box;
    box.setIcon(iconFor(alert.style));
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    // Texts can carry server or file content: never let them be read as rich text.
    if (auto* label = box.findChild<QLabel*>("qt_msgbox_informativelabel")) {
        label->setTextFormat(Qt::PlainText);
    }
    std::vector<QAbstractButton*> buttons;
    for (const auto& title : alert.buttons) {
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole));
    }
    // Left without one, the box would add Qt's own "OK", which our catalog does not reach.
    if (buttons.empty()) {
        buttons.push_back(
            box.addButton(QString::fromStdString(platform::translate("DesktopNotice", "OK")),
                          QMessageBox::AcceptRole));
    }
    dispatch_.beginModal();
    box.exec();
    dispatch_.endModal();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    }
    return 0;
}

}  // namespace platform::qt
