#pragma once

#include <memory>
#include <string>

#include "platform/linux/worker_queue.h"
#include "platform/testing/virtual_dispatch.h"

namespace platform::testing {

// Virtual time on the main queue, real threads for every serial queue (so every connection's
// queue): for runs against real helper processes and sockets.
class ThreadedConnections : public Dispatch {
public:
    explicit ThreadedConnections(VirtualDispatch& main) : main_(main) {}
    Queue& main() override { return main_.main(); }
    Queue& global() override { return main_.global(); }
    std::shared_ptr<Queue> makeSerialQueue(const std::string& label) override {
        return std::make_shared<linux_impl::WorkerQueue>(label, 1,
                                                         linux_impl::WorkerQueue::OnRelease::Drain);
    }
    void performAfterDelay(Duration delay, Task task) override {
        main_.performAfterDelay(delay, std::move(task));
    }
    void beginModal() override { main_.beginModal(); }
    void endModal() override { main_.endModal(); }
    bool isMainThread() const override { return main_.isMainThread(); }
    void offMainThread(const platform::CodeLocation& where) const override {
        main_.offMainThread(where);
    }

private:
    VirtualDispatch& main_;
};

}  // namespace platform::testing
