#include "platform/qt/qt_administrator_prompt.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <future>
#include <memory>

namespace platform::qt {

AuthorizationStatus QtAdministratorPrompt::askForRights(const std::vector<std::string>& rights) {
    if (dispatch_.isMainThread()) return ask(rights);
    // The caller blocks, as it would on the system's own prompt; the main thread never waits
    // here, so this cannot deadlock. A promise, not a blocking Qt connection, carries the answer
    // so that its hand-over is visible to the race checker.
    auto answer = std::make_shared<std::promise<AuthorizationStatus>>();
    auto answered = answer->get_future();
    dispatch_.main().async([this, answer, rights] { answer->set_value(ask(rights)); });
    return answered.get();
}

AuthorizationStatus QtAdministratorPrompt::ask(const std::vector<std::string>& rights) {
    const QString app = QApplication::applicationDisplayName();
    QString details;
    for (const auto& right : rights) details += "\n" + QString::fromStdString(right);

    QMessageBox box;
    box.setObjectName("administratorPrompt");
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(app);
    box.setTextFormat(Qt::PlainText);
    box.setText(app + " is trying to install a new helper tool.");
    box.setInformativeText(
        "This system root is a sandbox: confirming here stands in for an administrator's "
        "password.\n\nRights requested:" +
        details);
    if (auto* label = box.findChild<QLabel*>("qt_msgbox_informativelabel")) {
        label->setTextFormat(Qt::PlainText);
    }
    auto* cancel = box.addButton("Cancel", QMessageBox::RejectRole);
    auto* allow = box.addButton("&Install Helper", QMessageBox::AcceptRole);
    allow->setObjectName("allowButton");
    cancel->setObjectName("cancelButton");
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    dispatch_.beginModal();
    box.exec();
    dispatch_.endModal();
    return box.clickedButton() == allow ? errAuthorizationSuccess : errAuthorizationCanceled;
}

}  // namespace platform::qt
