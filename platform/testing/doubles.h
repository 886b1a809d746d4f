#pragma once

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/alert.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/process_runner.h"
#include "platform/testing/locked.h"
#include "platform/user_defaults.h"
#include "platform/user_notifications.h"

namespace platform::testing {

// Local time is whatever was set; monotonic time moves only when a test advances it, and then
// wakes the threads that wait for a deadline it reached. Any thread may use it.
class FixedClock : public Clock {
public:
    explicit FixedClock(LocalDateTime now = {}) : local_(now) {}
    LocalDateTime nowLocal() const override { return local_.get(); }
    void set(LocalDateTime now) { local_.set(now); }
    TimePoint now() const override;
    std::shared_ptr<void> wakeAt(TimePoint deadline, std::function<void()> wake) override;

    void advance(TimePoint::duration by);
    // Blocks until at least `count` threads wait for `deadline`, so that a test lets time pass
    // only once the waits it means are in place; false if that takes longer than `realTimeout`.
    bool awaitWaiters(TimePoint deadline, std::size_t count = 1,
                      std::chrono::milliseconds realTimeout = std::chrono::seconds(10));

private:
    struct Waiter {
        TimePoint deadline;
        std::function<void()> wake;
    };
    Locked<LocalDateTime> local_;
    mutable std::mutex mutex_;
    std::condition_variable waitersChanged_;
    TimePoint now_{};
    std::uint64_t nextWaiter_ = 0;
    std::map<std::uint64_t, Waiter> waiters_;
};

class MemoryUserDefaults : public UserDefaults {
public:
    void registerDefaults(const std::map<std::string, DefaultValue>& values) override {
        registered_.with([&](auto& registered) {
            for (const auto& [key, value] : values) registered[key] = value;
        });
    }
    std::optional<DefaultValue> value(const std::string& key) const override {
        for (const auto* domain : {&persistent_, &registered_}) {
            const auto values = domain->get();
            if (auto it = values.find(key); it != values.end()) return it->second;
        }
        return std::nullopt;
    }
    void setValue(const std::string& key, const DefaultValue& value) override {
        persistent_.with([&](auto& persistent) { persistent[key] = value; });
    }
    std::map<std::string, DefaultValue> persistent() const { return persistent_.get(); }

private:
    Locked<std::map<std::string, DefaultValue>> registered_;
    Locked<std::map<std::string, DefaultValue>> persistent_;
};

class FakeBundle : public Bundle {
public:
    explicit FakeBundle(std::filesystem::path root = "/fake/Test.app") : root_(std::move(root)) {}
    std::filesystem::path bundlePath() const override { return root_; }
    std::optional<std::string> infoString(const std::string& key) const override {
        auto it = info.find(key);
        return it == info.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<std::filesystem::path> resourcePath(const std::string& name,
                                                      const std::string& ext) const override {
        const std::string file = ext.empty() ? name : name + "." + ext;
        if (std::ranges::find(resources, file) == resources.end()) return std::nullopt;
        return root_ / "Contents" / "Resources" / file;
    }
    std::optional<std::map<std::string, std::string>> infoDictionaryForURL(
        const std::filesystem::path& url) const override {
        auto it = embeddedInfo.find(url);
        return it == embeddedInfo.end() ? std::nullopt : std::optional(it->second);
    }

    std::map<std::string, std::string> info;
    // Embedded dictionaries by executable path; a path not listed has none.
    std::map<std::filesystem::path, std::map<std::string, std::string>> embeddedInfo;
    // Resource names ("StatusBarIcon.png") that exist.
    std::vector<std::string> resources;

private:
    std::filesystem::path root_;
};

// Records every alert. `onShow` runs while the alert is "up" (inside the modal session), which
// lets a test let time pass behind an alert before the user dismisses it.
class RecordingAlerts : public AlertPresenter {
public:
    explicit RecordingAlerts(Dispatch& dispatch) : dispatch_(dispatch) {}
    int runModal(const Alert& alert) override {
        shown_.push(alert);
        dispatch_.beginModal();
        if (onShow) onShow(alert);
        dispatch_.endModal();
        return 0;
    }
    std::vector<Alert> shown() const { return shown_.get(); }
    std::function<void(const Alert&)> onShow;

private:
    Dispatch& dispatch_;
    Locked<std::vector<Alert>> shown_;
};

// Keeps every notification delivered, as "title / text / button -> action".
class RecordingUserNotifications : public UserNotificationCenter {
public:
    void deliver(const UserNotification& n) override {
        delivered.push_back(n.title + " / " + n.informativeText + " / " + n.actionButtonTitle +
                            " -> " + n.action);
    }
    std::vector<std::string> delivered;
};

struct ProcessCall {
    std::string executable;
    std::vector<std::string> args;
};

class FakeChildProcess : public ChildProcess {
public:
    explicit FakeChildProcess(int pid, std::optional<int> exitStatus = std::nullopt)
        : pid_(pid), exitStatus_(exitStatus) {}
    int processIdentifier() const override { return pid_; }
    bool isRunning() const override { return !exitStatus_; }
    std::optional<int> exitStatus() const override { return exitStatus_; }

private:
    int pid_;
    std::optional<int> exitStatus_;
};

class ScriptedProcessRunner : public ProcessRunner {
public:
    ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                      std::chrono::milliseconds) override {
        calls_.push(ProcessCall{executable, args});
        return result_.get();
    }
    // The scripted result's output, line by line on standard output.
    StreamedResult runStreaming(const std::string& executable, const std::vector<std::string>& args,
                                const StreamedRun&,
                                const std::function<void(const OutputLine&)>& line) override {
        const auto result = run(executable, args, {});
        if (result.startError) return {result.startError, false, false, std::nullopt, std::nullopt};
        std::string_view rest = result.output;
        while (!rest.empty()) {
            const auto end = std::min(rest.find('\n'), rest.size());
            line({OutputLine::Stream::Output, rest.substr(0, end), 0, end < rest.size()});
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        return {std::nullopt, false, result.timedOut, result.status, std::nullopt};
    }
    StartedProcess start(const std::string& executable,
                         const std::vector<std::string>& args) override {
        starts_.push(ProcessCall{executable, args});
        return startResult_.get();
    }
    std::vector<ProcessCall> calls() const { return calls_.get(); }
    std::vector<ProcessCall> starts() const { return starts_.get(); }
    // The next runs answer with this.
    void setResult(ProcessResult result) { result_.set(std::move(result)); }
    // The next starts answer with this; by default a running child with pid 4242.
    void setStartResult(StartedProcess result) { startResult_.set(std::move(result)); }
    // Forgets the calls so far (a long-running caller, such as a fuzz target, keeps memory flat).
    void clearCalls() {
        calls_.set({});
        starts_.set({});
    }

private:
    Locked<ProcessResult> result_;
    Locked<StartedProcess> startResult_{{std::nullopt, std::make_shared<FakeChildProcess>(4242)}};
    Locked<std::vector<ProcessCall>> calls_;
    Locked<std::vector<ProcessCall>> starts_;
};

}  // namespace platform::testing
