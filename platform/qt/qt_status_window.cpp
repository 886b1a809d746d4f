#include "platform/qt/qt_status_window.h"

#include <QApplication>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

namespace platform::qt {

QtStatusWindow::QtStatusWindow(const QtMenu& menu, const QString& notice)
    : notice_(new QLabel(notice)) {
    setWindowTitle(QApplication::applicationDisplayName());
    auto* layout = new QVBoxLayout(this);
    notice_->setWordWrap(true);
    notice_->setMinimumWidth(320);
    layout->addWidget(notice_);
    for (const auto& item : menu.qtItems()) {
        QAction* action = item->qaction();
        if (item->isSeparator()) {
            auto* line = new QFrame;
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            layout->addWidget(line);
        } else if (item->action().empty()) {
            auto* label = new QLabel(action->text());
            QObject::connect(action, &QAction::changed, label,
                             [label, action] { label->setText(action->text()); });
            layout->addWidget(label);
        } else {
            // The item's own enabled flag, not the action's: an alternate's action reads
            // disabled whenever the menu hides it, and here every item shows.
            auto* button = new QPushButton;
            auto follow = [button, item] {
                button->setText(item->qaction()->text());
                button->setEnabled(item->isEnabled());
                button->setCheckable(item->qaction()->isCheckable());
                button->setChecked(item->qaction()->isChecked());
            };
            follow();
            QObject::connect(action, &QAction::changed, button, follow);
            QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
            layout->addWidget(button);
        }
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace platform::qt
