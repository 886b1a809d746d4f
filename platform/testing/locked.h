#pragma once

#include <mutex>
#include <utility>

namespace platform::testing {

// A value any thread may read, replace or change under its own lock: what a double records or
// answers while the code under test calls it from its queues.
template <class T>
class Locked {
public:
    Locked() = default;
    explicit Locked(T value) : value_(std::move(value)) {}
    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }
    // Runs `change` on the value under the lock and gives back what it returns.
    template <class Change>
    auto with(Change&& change) {
        std::lock_guard lock(mutex_);
        return change(value_);
    }
    template <class Item>
    void push(Item&& item) {
        with([&](T& value) { value.push_back(std::forward<Item>(item)); });
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace platform::testing
