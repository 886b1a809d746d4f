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

// Where a check was made, as CodeLocation says it; that needs a builtin clang 14 lacks,
// while __builtin_FUNCTION and __builtin_LINE, as default arguments, give the caller's in both
// compilers.
class CodeLocation {
public:
    static constexpr CodeLocation current(const char* function = __builtin_FUNCTION(),
                                          unsigned line = __builtin_LINE()) {
        return CodeLocation(function, line);
    }
    constexpr const char* function_name() const { return function_; }
    constexpr unsigned line() const { return line_; }

private:
    constexpr CodeLocation(const char* function, unsigned line)
        : function_(function), line_(line) {}
    const char* function_;
    unsigned line_;
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

    // What `assertMainThread` does when main-thread-only code runs elsewhere. By default: one log
    // line per place, then an abort in builds with assertions; a shipped app logs and goes on.
    // Test doubles override it to fail the test.
    virtual void offMainThread(const CodeLocation& where) const;
};

// The first line of main-thread-only code: such code touches fields that nothing else guards,
// so a caller that forgot to hop to the main queue is a data race, caught here.
inline void assertMainThread(const Dispatch& dispatch,
                             const CodeLocation& where = CodeLocation::current()) {
    if (!dispatch.isMainThread()) dispatch.offMainThread(where);
}

}  // namespace platform
