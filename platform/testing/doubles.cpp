#include "platform/testing/doubles.h"

#include <algorithm>

namespace platform::testing {

LocalDateTime FixedClock::nowLocal() const {
    std::lock_guard lock(mutex_);
    return local_;
}

void FixedClock::set(LocalDateTime now) {
    std::lock_guard lock(mutex_);
    local_ = now;
}

Clock::TimePoint FixedClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::shared_ptr<void> FixedClock::wakeAt(TimePoint deadline, std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    const auto id = nextWaiter_++;
    // Wakes run under the lock, so that once a handle is let go its wake cannot be running.
    if (deadline <= now_) {
        wake();
    } else {
        waiters_.emplace(id, Waiter{deadline, std::move(wake)});
        waitersChanged_.notify_all();
    }
    return std::shared_ptr<void>(this, [this, id](void*) {
        std::lock_guard lock(mutex_);
        waiters_.erase(id);
    });
}

void FixedClock::advance(TimePoint::duration by) {
    std::lock_guard lock(mutex_);
    now_ += by;
    std::erase_if(waiters_, [this](auto& entry) {
        if (entry.second.deadline > now_) return false;
        entry.second.wake();
        return true;
    });
}

bool FixedClock::awaitWaiters(TimePoint deadline, std::size_t count,
                              std::chrono::milliseconds realTimeout) {
    std::unique_lock lock(mutex_);
    return waitersChanged_.wait_for(lock, realTimeout, [&] {
        const auto waiting = std::ranges::count(
            waiters_, deadline, [](const auto& entry) { return entry.second.deadline; });
        return static_cast<std::size_t>(waiting) >= count;
    });
}

void MemoryUserDefaults::registerDefaults(const std::map<std::string, DefaultValue>& values) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : values) registered_[key] = value;
}

std::optional<DefaultValue> MemoryUserDefaults::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = persistent_.find(key); it != persistent_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return std::nullopt;
}

void MemoryUserDefaults::setValue(const std::string& key, const DefaultValue& value) {
    std::lock_guard lock(mutex_);
    persistent_[key] = value;
}

std::optional<std::string> FakeBundle::infoString(const std::string& key) const {
    auto it = info.find(key);
    return it == info.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::optional<std::filesystem::path> FakeBundle::resourcePath(const std::string& name,
                                                              const std::string& ext) const {
    const std::string file = ext.empty() ? name : name + "." + ext;
    if (std::find(resources.begin(), resources.end(), file) == resources.end()) return std::nullopt;
    return root_ / "Contents" / "Resources" / file;
}

std::optional<std::map<std::string, std::string>> FakeBundle::infoDictionaryForURL(
    const std::filesystem::path& url) const {
    auto it = embeddedInfo.find(url);
    if (it == embeddedInfo.end()) return std::nullopt;
    return it->second;
}

int RecordingAlerts::runModal(const Alert& alert) {
    {
        std::lock_guard lock(mutex_);
        shown_.push_back(alert);
    }
    dispatch_.beginModal();
    if (onShow) onShow(alert);
    dispatch_.endModal();
    return 0;
}

std::vector<Alert> RecordingAlerts::shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

ProcessResult ScriptedProcessRunner::run(const std::string& executable,
                                         const std::vector<std::string>& args,
                                         std::chrono::milliseconds) {
    std::lock_guard lock(mutex_);
    calls_.push_back({executable, args});
    return result_;
}

StartedProcess ScriptedProcessRunner::start(const std::string& executable,
                                            const std::vector<std::string>& args) {
    std::lock_guard lock(mutex_);
    starts_.push_back({executable, args});
    return startResult_;
}

std::vector<ProcessCall> ScriptedProcessRunner::starts() const {
    std::lock_guard lock(mutex_);
    return starts_;
}

void ScriptedProcessRunner::setStartResult(StartedProcess result) {
    std::lock_guard lock(mutex_);
    startResult_ = std::move(result);
}

std::vector<ProcessCall> ScriptedProcessRunner::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void ScriptedProcessRunner::setResult(ProcessResult result) {
    std::lock_guard lock(mutex_);
    result_ = std::move(result);
}

}  // namespace platform::testing
