#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch.h"

namespace platform::testing {

// Every queue on one virtual clock. Nothing runs until the test says time passes:
// `advance(5s)` runs every task due by then, in order of due time (ties in posting order),
// with the clock set to each task's time while it runs. Tasks may be posted from any thread;
// they all run on the thread that calls advance().
//
// The thread that makes the dispatch stands for the main thread: `isMainThread()` holds there
// outside any task (a test body) and inside the main queue's tasks, timers and delayed performs;
// not inside a global or serial queue's task, nor on any other thread. Main-thread-only code run
// elsewhere aborts with a line naming it and the queue.
class VirtualDispatch : public Dispatch {
public:
    VirtualDispatch();
    ~VirtualDispatch() override;

    Queue& main() override;
    Queue& global() override;
    std::shared_ptr<Queue> makeSerialQueue(const std::string& label) override;
    void performAfterDelay(Duration delay, Task task) override;
    void beginModal() override;
    void endModal() override;
    bool isMainThread() const override;
    void offMainThread(const platform::CodeLocation& where) const override;

    void advance(Duration by);
    void runUntilIdle() { advance(Duration::zero()); }
    // Runs due work as it arrives from other threads until `done` holds or `realTimeout` of real
    // time has passed; for tests whose work crosses a real socket or process.
    bool pumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds realTimeout = std::chrono::seconds(10));

    // The same with virtual time following real time, for work whose own timers (a poll, a
    // bound) must run while real processes answer.
    bool followRealTimeUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds realTimeout);

    Duration now() const;
    std::size_t pendingCount() const;
    // The label of the queue whose task is running on the calling thread ("main", "global" or a
    // serial queue's label), empty outside a task.
    std::string currentQueue() const;

private:
    class VirtualQueue;
    struct Entry {
        Duration due;
        std::uint64_t seq;
        std::string queue;
        bool main;
        Task task;
        bool waitsForModal;
    };
    void post(const std::string& queue, bool main, Duration delay, Task task, bool waitsForModal);

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    Duration now_{};
    std::uint64_t nextSeq_ = 0;
    int modalDepth_ = 0;
    std::vector<Entry> pending_;
    std::vector<Entry> parked_;
    const std::thread::id mainThread_ = std::this_thread::get_id();
    std::unique_ptr<VirtualQueue> main_;
    std::unique_ptr<VirtualQueue> global_;
};

}  // namespace platform::testing
