#include "platform/qt/qt_show_folder.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>

#include "platform/log.h"

namespace platform::qt {
namespace {

// A file manager started for the call has this long to come up.
constexpr int kCallTimeoutMilliseconds = 10000;

}  // namespace

void showFolderWithFileManager(const std::string& uri, std::function<void(bool shown)> done) {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(false);
        return;
    }
    auto call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                               "/org/freedesktop/FileManager1",
                                               "org.freedesktop.FileManager1", "ShowFolders");
    call << QStringList{QString::fromStdString(uri)} << QString();
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeoutMilliseconds));
    QObject::connect(
        pending, &QDBusPendingCallWatcher::finished, [pending, done = std::move(done)] {
            pending->deleteLater();
            if (pending->isError() && pending->error().type() != QDBusError::ServiceUnknown) {
                platform::log("The file manager did not show the folder: " +
                              pending->error().message().toStdString());
            }
            done(!pending->isError());
        });
}

}  // namespace platform::qt
