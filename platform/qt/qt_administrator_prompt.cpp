#include "platform/qt/qt_administrator_prompt.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <future>
#include <memory>

#include "platform/translation.h"

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
    // The rights are identifiers, shown as they are.
    QString details;
    for (const auto& right : rights) details += "\n" + QString::fromStdString(right);

    QMessageBox box;
    box.setObjectName("administratorPrompt");
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(app);
    box.setTextFormat(Qt::PlainText);
    //: %1 is the application's name.
    box.setText(QString::fromStdString(platform::fillPlaceholders(
        platform::translate("AdministratorPrompt", "%1 is trying to install a new helper tool."),
        {app.toStdString()})));
    box.setInformativeText(
        QString::fromStdString(platform::translate(
            "AdministratorPrompt",
            "This system root is a sandbox: confirming here stands in for an administrator's "
            "password.")) +
        "\n\n" +
        QString::fromStdString(platform::translate("AdministratorPrompt", "Rights requested:")) +
        details);
    if (auto* label = box.findChild<QLabel*>("qt_msgbox_informativelabel")) {
        label->setTextFormat(Qt::PlainText);
    }
    auto* cancel =
        box.addButton(QString::fromStdString(platform::translate("AdministratorPrompt", "Cancel")),
                      QMessageBox::RejectRole);
    auto* allow = box.addButton(
        QString::fromStdString(platform::translate("AdministratorPrompt", "&Install Helper")),
        QMessageBox::AcceptRole);
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
