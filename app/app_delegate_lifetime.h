#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/app_delegate.h"

// Lets callbacks that arrive on other threads reach the delegate only while it exists. The
// delegate ends its lifetime first thing in its destructor, which waits for a callback in
// progress; later callbacks find nobody and do nothing.
class AppDelegate::Lifetime {
public:
    explicit Lifetime(AppDelegate& delegate) : delegate_(&delegate) {}

    // From any thread but the main one.
    void run(const std::function<void(AppDelegate&)>& task) {
        AppDelegate* delegate = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (!delegate_) return;
            delegate = delegate_;
            ++active_;
        }
        task(*delegate);
        {
            std::lock_guard lock(mutex_);
            --active_;
        }
        idle_.notify_all();
    }

    // Main thread only: the destructor runs there too, so the answer holds for the whole task.
    AppDelegate* current() {
        std::lock_guard lock(mutex_);
        return delegate_;
    }

    void end() {
        std::unique_lock lock(mutex_);
        delegate_ = nullptr;
        idle_.wait(lock, [this] { return active_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    AppDelegate* delegate_;
    int active_ = 0;
};

// The object the helper's connection exports: the delegate's AppProtocol side.
class AppDelegate::Exported : public AppProtocolHandler {
public:
    explicit Exported(std::shared_ptr<Lifetime> lifetime) : lifetime_(std::move(lifetime)) {}
    void logWithStdOut(const std::string& text) override {
        lifetime_->run([&](AppDelegate& delegate) { delegate.logWithStdOut(text); });
    }
    void logWithStdErr(const std::string& text) override {
        lifetime_->run([&](AppDelegate& delegate) { delegate.logWithStdErr(text); });
    }

private:
    std::shared_ptr<Lifetime> lifetime_;
};
