// The sandbox's administrator confirmation, offscreen: asked from the main thread and from a
// helper connection's thread, answered by clicking its buttons.
#include <gtest/gtest.h>

#include "tests/qt_test_application.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <future>
#include <thread>

#include "platform/qt/qt_administrator_prompt.h"
#include "platform/qt/qt_dispatch.h"

namespace {

using platform::AuthorizationStatus;
constexpr char kRight[] = "com.apple.ServiceManagement.blesshelper";

TEST(AdministratorPromptGuiTest, TheAnswerIsTheButtonWhicheverThreadAsks) {
    ensureQtTestApplication();
    QApplication::setApplicationDisplayName("orvane Storage Gateway");
    platform::qt::QtDispatch dispatch;
    platform::qt::QtAdministratorPrompt prompt{dispatch};
    // Clicks `button` of the prompt once it is up (its texts and picture: translations_test).
    auto answerWith = [](const char* button) {
        auto* timer = new QTimer(qApp);
        QObject::connect(timer, &QTimer::timeout, [timer, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->objectName() != "administratorPrompt") return;
            timer->deleteLater();
            box->findChild<QAbstractButton*>(button)->click();
        });
        timer->start(10);
    };

    answerWith("allowButton");
    EXPECT_EQ(prompt.askForRights({kRight}), platform::errAuthorizationSuccess);

    // From a helper connection's thread: it waits while the main thread, its event loop going,
    // shows the prompt.
    answerWith("cancelButton");
    std::promise<AuthorizationStatus> answer;
    auto answered = answer.get_future();
    std::thread connectionQueue([&] { answer.set_value(prompt.askForRights({kRight})); });
    while (answered.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    connectionQueue.join();
    EXPECT_EQ(answered.get(), platform::errAuthorizationCanceled);
}

}  // namespace
