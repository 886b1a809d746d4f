#include "platform/testing/dbus/fake_systemd.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

extern char** environ;

namespace platform::testing {
namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kMock = QStringLiteral("org.freedesktop.DBus.Mock");

// Runs this thread's events until `done` holds or the deadline passes; replies, signals and the
// deadline's own timer wake it.
bool runEventsUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(FakeSystemd::kDeadline);
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(FakeSystemd::kDeadline);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

// Counts the stand-in's Subscribe calls, from its MethodCalled signal.
class SubscribeCounter : public QObject {
    Q_OBJECT
public:
    int count = 0;

public slots:
    void methodCalled(const QString& name, const QVariantList&) {
        if (name == QStringLiteral("Subscribe")) ++count;
    }
};

PrivateBus::PrivateBus() {
    static std::atomic<int> buses{0};
    name_ = QStringLiteral("orvane-private-bus-%1").arg(++buses);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    const char* argv[] = {"dbus-daemon", "--session",         "--nofork",
                          "--nosyslog",  "--print-address=1", nullptr};
    const int rc =
        ::posix_spawnp(&pid_, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) pid_ = -1;
    // The address comes once the bus listens; end of file if it could not start.
    char c = 0;
    while (pid_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') address_ += c;
    ::close(fds[0]);
    if (c != '\n') address_.clear();
}

PrivateBus::~PrivateBus() {
    QDBusConnection::disconnectFromBus(name_);
    stop(pid_);
}

QDBusConnection PrivateBus::connection() const {
    return QDBusConnection::connectToBus(QString::fromStdString(address_), name_);
}

FakeSystemd::FakeSystemd() : subscribes_(std::make_unique<SubscribeCounter>()) {
    if (bus_.address().empty()) {
        error_ = "dbus-daemon did not start";
        return;
    }
    // The template serves the system bus; here that is the private one.
    const std::string busVariable = "DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address();
    std::vector<char*> envp;
    for (char** variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "DBUS_SYSTEM_BUS_ADDRESS=", 24) != 0) envp.push_back(*variable);
    }
    envp.push_back(const_cast<char*>(busVariable.c_str()));
    envp.push_back(nullptr);
    // It logs every call on standard output; its standard error stays, for what goes wrong.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"python3", "-m", "dbusmock", "--template", "systemd", nullptr};
    const int rc = ::posix_spawn(&pid_, "/usr/bin/python3", &actions, nullptr,
                                 const_cast<char**>(argv), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        error_ = "python3 did not start";
        return;
    }

    QDBusConnection bus = bus_.connection();
    bool registered = false;
    QDBusServiceWatcher appearance(kSystemd, bus, QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(&appearance, &QDBusServiceWatcher::serviceRegistered,
                     [&] { registered = true; });
    registered = registered || bus.interface()->isServiceRegistered(kSystemd);
    if (!runEventsUntil([&] { return registered; })) {
        error_ = "python3-dbusmock's systemd template did not appear on the bus";
        return;
    }
    bus.connect(kSystemd, kManagerPath, kMock, QStringLiteral("MethodCalled"), subscribes_.get(),
                SLOT(methodCalled(QString, QVariantList)));
    // What the template lacks: a unit's path for its name, and subscribing, which only counts.
    callMock(kManagerPath, QStringLiteral("AddMethod"),
             {kManager, QStringLiteral("LoadUnit"), QStringLiteral("s"), QStringLiteral("o"),
              QStringLiteral("ret = self.units[args[0]]")}) &&
        callMock(kManagerPath, QStringLiteral("AddMethod"),
                 {kManager, QStringLiteral("Subscribe"), QString(), QString(), QString()});
}

FakeSystemd::~FakeSystemd() { stop(pid_); }

bool FakeSystemd::callMock(const QString& path, const QString& method,
                           const QVariantList& arguments) {
    auto message = QDBusMessage::createMethodCall(kSystemd, path, kMock, method);
    message.setArguments(arguments);
    const auto reply =
        bus_.connection().call(message, QDBus::Block, std::chrono::milliseconds(kDeadline).count());
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    error_ = method.toStdString() + ": " + reply.errorMessage().toStdString();
    return false;
}

QString FakeSystemd::unitPath(const std::string& unit) {
    if (auto known = unitPaths_.find(unit); known != unitPaths_.end()) return known->second;
    auto message = QDBusMessage::createMethodCall(kSystemd, kManagerPath, kManager,
                                                  QStringLiteral("LoadUnit"));
    message << QString::fromStdString(unit);
    const auto reply =
        bus_.connection().call(message, QDBus::Block, std::chrono::milliseconds(kDeadline).count());
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return unitPaths_[unit] = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
}

bool FakeSystemd::addUnit(const std::string& unit) {
    return callMock(kManagerPath, QStringLiteral("AddMockUnit"), {QString::fromStdString(unit)});
}

bool FakeSystemd::updateProperty(const std::string& unit, const std::string& interface,
                                 const std::string& name, const QVariant& value) {
    return callMock(
        unitPath(unit), QStringLiteral("UpdateProperties"),
        {QString::fromStdString(interface), QVariantMap{{QString::fromStdString(name), value}}});
}

bool FakeSystemd::waitForSubscriptions(int count) {
    return runEventsUntil([&] { return subscribes_->count >= count; });
}

}  // namespace platform::testing

#include "fake_systemd.moc"
