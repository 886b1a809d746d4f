#include "platform/linux/systemd_state_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>

#include "platform/linux/system_bus.h"
#include "platform/log.h"

namespace platform::linux_impl {
namespace {

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

}  // namespace

// The watcher's thread and what it alone touches: the bus and the subscriptions.
class SystemdStateWatcher::Loop {
public:
    explicit Loop(std::optional<std::string> address)
        : address_(std::move(address)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;
    ~Loop() {
        if (wakeFd_ >= 0) ::close(wakeFd_);
    }

    // Runs `task` on the thread, after the ones posted before it.
    void post(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake();
    }
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake();
    }
    std::uint64_t nextId() {
        std::lock_guard lock(mutex_);
        return ++lastId_;
    }

    void run() {
        for (;;) {
            std::vector<std::function<void()>> tasks;
            {
                std::lock_guard lock(mutex_);
                if (stopping_) break;
                tasks.swap(tasks_);
            }
            for (auto& task : tasks) task();
            // Also what a blocking call of a task read while it waited.
            if (bus_ && bus_->process()) forget();
            pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {-1, 0, 0}};
            if (bus_) fds[1] = {bus_->fd(), bus_->events(), 0};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
            std::uint64_t count = 0;
            if (fds[0].revents & POLLIN) (void)!::read(wakeFd_, &count, sizeof count);
        }
        forget();
    }

    // On the thread.
    void follow(std::uint64_t id, const std::string& unit,
                const std::shared_ptr<Callback>& callback) {
        if (!bus_) {
            auto connected = SystemBus::connect(address_);
            if (auto* error = std::get_if<BusError>(&connected)) return giveUp(unit, *error);
            bus_ = std::move(std::get<SystemBus>(connected));
        }
        auto followed = bus_->followUnit(unit, [callback] { (*callback)(); });
        if (auto* error = std::get_if<BusError>(&followed)) return giveUp(unit, *error);
        follows_[id] = std::move(std::get<SystemBus::Slot>(followed));
    }
    void unfollow(std::uint64_t id) { follows_.erase(id); }

private:
    void wake() {
        const std::uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }
    // A lost bus ends every watch; the poll still follows the unit, and a new watch connects.
    void forget() {
        follows_.clear();
        bus_.reset();
    }
    // Polling still follows the unit, so one line is enough.
    void giveUp(const std::string& unit, const BusError& why) {
        if (loggedGivingUp_) return;
        loggedGivingUp_ = true;
        platform::log("Not following " + unit + " over D-Bus: " + why.message);
    }

    const std::optional<std::string> address_;
    const int wakeFd_;
    std::mutex mutex_;
    std::vector<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::uint64_t lastId_ = 0;
    // The thread's.
    std::optional<SystemBus> bus_;
    std::map<std::uint64_t, SystemBus::Slot> follows_;
    bool loggedGivingUp_ = false;
};

namespace {

class SystemdWatch : public ServiceStateWatcher::Watch {
public:
    SystemdWatch(std::shared_ptr<Callback> callback, std::function<void()> unfollow)
        : callback_(std::move(callback)), unfollow_(std::move(unfollow)) {}
    SystemdWatch(const SystemdWatch&) = delete;
    SystemdWatch& operator=(const SystemdWatch&) = delete;
    ~SystemdWatch() override {
        callback_->clear();
        unfollow_();
    }

private:
    std::shared_ptr<Callback> callback_;
    std::function<void()> unfollow_;
};

}  // namespace

SystemdStateWatcher::SystemdStateWatcher(std::optional<std::string> busAddress)
    : loop_(std::make_shared<Loop>(std::move(busAddress))),
      thread_([loop = loop_] { loop->run(); }) {}

SystemdStateWatcher::~SystemdStateWatcher() {
    loop_->stop();
    thread_.join();
}

std::unique_ptr<ServiceStateWatcher::Watch> SystemdStateWatcher::watch(
    const std::string& label, std::function<void()> changed) {
    auto callback = std::make_shared<Callback>(std::move(changed));
    const std::uint64_t id = loop_->nextId();
    // A task holds the loop by plain pointer: the tasks are the loop's own.
    Loop* loop = loop_.get();
    loop->post(
        [loop, id, unit = label + ".service", callback] { loop->follow(id, unit, callback); });
    return std::make_unique<SystemdWatch>(std::move(callback), [shared = loop_, loop, id] {
        shared->post([loop, id] { loop->unfollow(id); });
    });
}

}  // namespace platform::linux_impl
