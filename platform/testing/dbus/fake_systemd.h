#pragma once

#include <sys/types.h>

#include <QDBusConnection>
#include <QVariant>
#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace platform::testing {

// A message bus of its own (dbus-daemon), stopped with the object. Needs a QCoreApplication.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the bus could not be started.
    const std::string& address() const { return address_; }
    // This process's own connection to it.
    QDBusConnection connection() const;

private:
    pid_t pid_ = -1;
    std::string address_;
    QString name_;
};

class SubscribeCounter;

// systemd as python3-dbusmock's template plays it, taught the calls a unit watcher makes
// (LoadUnit, Subscribe), on a private bus. Calls and waits run on the constructing thread.
class FakeSystemd {
public:
    static constexpr char kUnitInterface[] = "org.freedesktop.systemd1.Unit";
    static constexpr std::chrono::seconds kDeadline{30};

    FakeSystemd();
    ~FakeSystemd();
    FakeSystemd(const FakeSystemd&) = delete;
    FakeSystemd& operator=(const FakeSystemd&) = delete;

    // Why the bus or the stand-in is not there, or a call to it failed; empty while all is well.
    const std::string& error() const { return error_; }
    const std::string& address() const { return bus_.address(); }

    // An inactive, loaded unit ("x.service").
    bool addUnit(const std::string& unit);
    bool addProperty(const std::string& unit, const std::string& interface, const std::string& name,
                     const QVariant& value);
    // Sets the property and signals the change, as systemd does for its subscribers.
    bool updateProperty(const std::string& unit, const std::string& interface,
                        const std::string& name, const QVariant& value);
    // Runs the event loop until Subscribe has been called `count` times in all.
    bool waitForSubscriptions(int count);

private:
    bool callMock(const QString& path, const QString& method, const QVariantList& arguments);
    QString unitPath(const std::string& unit);

    PrivateBus bus_;
    pid_t pid_ = -1;
    std::string error_;
    std::unique_ptr<SubscribeCounter> subscribes_;
    std::map<std::string, QString> unitPaths_;
};

}  // namespace platform::testing
