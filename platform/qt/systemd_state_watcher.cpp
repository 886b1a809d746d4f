#include "platform/qt/systemd_state_watcher.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>
#include <atomic>
#include <mutex>

#include "platform/log.h"

namespace platform::qt {
namespace {

const QString kSystemd = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAlreadySubscribed = QStringLiteral("org.freedesktop.systemd1.AlreadySubscribed");
// systemd answers in milliseconds; this only bounds a hung one.
constexpr int kCallTimeoutMs = 10000;

// One watch's callback. It runs under the lock its watch takes to clear it, so that no call is
// still under way once the watch is gone.
class Callback {
public:
    explicit Callback(std::function<void()> changed) : changed_(std::move(changed)) {}
    void operator()() {
        std::lock_guard lock(mutex_);
        if (changed_) changed_();
    }
    void clear() {
        std::lock_guard lock(mutex_);
        changed_ = nullptr;
    }

private:
    std::mutex mutex_;
    std::function<void()> changed_;
};

QDBusMessage managerCall(const QString& method, const QVariantList& arguments) {
    auto message = QDBusMessage::createMethodCall(kSystemd, kManagerPath, kManager, method);
    message.setArguments(arguments);
    // Where systemd does not run, nothing is to be started in its name.
    message.setAutoStartService(false);
    return message;
}

}  // namespace

// One unit's PropertiesChanged, received on the watcher's thread.
class SystemdUnitListener : public QObject {
    Q_OBJECT
public:
    explicit SystemdUnitListener(std::shared_ptr<Callback> callback)
        : callback_(std::move(callback)) {}

public slots:
    // The unit's state, not its other properties nor its process's (on another interface).
    void propertiesChanged(const QString&, const QVariantMap& changed,
                           const QStringList& invalidated) {
        for (const QString& name : {QStringLiteral("ActiveState"), QStringLiteral("SubState")}) {
            if (changed.contains(name) || invalidated.contains(name)) {
                (*callback_)();
                return;
            }
        }
    }

private:
    std::shared_ptr<Callback> callback_;
};

class SystemdStateWatcher::Bus {
public:
    explicit Bus(std::optional<std::string> address) : address_(std::move(address)) {
        static std::atomic<int> count{0};
        name_ = QStringLiteral("orvane-systemd-state-%1").arg(++count);
        thread_.setObjectName(QStringLiteral("systemd-state"));
        thread_.start();
    }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
    ~Bus() {
        // Listeners that their watches let go are deleted as the thread finishes.
        thread_.quit();
        thread_.wait();
        if (address_) QDBusConnection::disconnectFromBus(name_);
    }

    QThread& thread() { return thread_; }

    // On the thread.
    void follow(const QString& unit, SystemdUnitListener* listener) {
        QDBusConnection bus = connection();
        if (!bus.isConnected()) return giveUp(unit, bus.lastError().message());
        // LoadUnit, unlike GetUnit, also answers for a unit that is not loaded right now.
        const QDBusMessage loaded =
            bus.call(managerCall(QStringLiteral("LoadUnit"), {unit}), QDBus::Block, kCallTimeoutMs);
        if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty())
            return giveUp(unit, loaded.errorMessage());
        const QString path = qvariant_cast<QDBusObjectPath>(loaded.arguments().constFirst()).path();
        // Listening before subscribing: no change after the subscription goes unheard.
        if (!bus.connect(kSystemd, path, kProperties, QStringLiteral("PropertiesChanged"), listener,
                         SLOT(propertiesChanged(QString, QVariantMap, QStringList))))
            return giveUp(unit, bus.lastError().message());
        // systemd signals unit changes only to its subscribers; a connection subscribes once.
        const QDBusMessage subscribed =
            bus.call(managerCall(QStringLiteral("Subscribe"), {}), QDBus::Block, kCallTimeoutMs);
        if (subscribed.type() != QDBusMessage::ReplyMessage &&
            subscribed.errorName() != kAlreadySubscribed)
            giveUp(unit, subscribed.errorMessage());
    }

private:
    QDBusConnection connection() const {
        if (!address_) return QDBusConnection::systemBus();
        return QDBusConnection::connectToBus(QString::fromStdString(*address_), name_);
    }

    // Polling still follows the unit, so one line is enough.
    void giveUp(const QString& unit, const QString& why) {
        if (loggedGivingUp_) return;
        loggedGivingUp_ = true;
        platform::log("Not following " + unit.toStdString() + " over D-Bus: " + why.toStdString());
    }

    std::optional<std::string> address_;
    QString name_;
    QThread thread_;
    bool loggedGivingUp_ = false;  // the thread's
};

namespace {

class SystemdWatch : public ServiceStateWatcher::Watch {
public:
    SystemdWatch(std::shared_ptr<Callback> callback, SystemdUnitListener* listener)
        : callback_(std::move(callback)), listener_(listener) {}
    SystemdWatch(const SystemdWatch&) = delete;
    SystemdWatch& operator=(const SystemdWatch&) = delete;
    ~SystemdWatch() override {
        callback_->clear();
        // Deleting the listener on its thread disconnects it there.
        listener_->deleteLater();
    }

private:
    std::shared_ptr<Callback> callback_;
    SystemdUnitListener* listener_;
};

}  // namespace

SystemdStateWatcher::SystemdStateWatcher(std::optional<std::string> busAddress)
    : bus_(std::make_unique<Bus>(std::move(busAddress))) {}

SystemdStateWatcher::~SystemdStateWatcher() = default;

std::unique_ptr<ServiceStateWatcher::Watch> SystemdStateWatcher::watch(
    const std::string& label, std::function<void()> changed) {
    auto callback = std::make_shared<Callback>(std::move(changed));
    auto* listener = new SystemdUnitListener(callback);
    listener->moveToThread(&bus_->thread());
    const QString unit = QString::fromStdString(label) + QStringLiteral(".service");
    QMetaObject::invokeMethod(
        listener, [bus = bus_.get(), unit, listener] { bus->follow(unit, listener); },
        Qt::QueuedConnection);
    return std::make_unique<SystemdWatch>(std::move(callback), listener);
}

}  // namespace platform::qt

#include "systemd_state_watcher.moc"
