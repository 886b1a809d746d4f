#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace platform {

using Task = std::function<void()>;
using Duration = std::chrono::nanoseconds;

inline constexpr Duration seconds(double s) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}

// A queue that runs tasks one after another (serial) or side by side (global).
class Queue {
public:
    Queue() = default;
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;
    virtual ~Queue() = default;
    virtual void async(Task task) = 0;
    virtual void asyncAfter(Duration delay, Task task) = 0;
};

class Dispatch {
public:
    Dispatch() = default;
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;
    virtual ~Dispatch() = default;

    // The main thread's queue; it is also the main operation queue.
    virtual Queue& main() = 0;
    // The global user-initiated queue.
    virtual Queue& global() = 0;
    virtual std::shared_ptr<Queue> makeSerialQueue(const std::string& label) = 0;

    // The main run loop's "perform after delay" in its default mode: a task that falls due while
    // a modal alert is up waits until the alert has been dismissed.
    virtual void performAfterDelay(Duration delay, Task task) = 0;

    // Alert implementations bracket their modal session with these.
    virtual void beginModal() = 0;
    virtual void endModal() = 0;

    virtual bool isMainThread() const = 0;
};

}  // namespace platform
