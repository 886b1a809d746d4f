#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "platform/dispatch.h"
#include "platform/linux/worker_queue.h"

namespace platform::qt {

// The main queue is the Qt event loop of the main thread; the global and serial queues are
// worker threads. Create on the main thread after the QApplication.
class QtDispatch : public Dispatch {
public:
    QtDispatch();
    ~QtDispatch() override;
    QtDispatch(const QtDispatch&) = delete;
    QtDispatch& operator=(const QtDispatch&) = delete;

    Queue& main() override;
    Queue& global() override;
    std::shared_ptr<Queue> makeSerialQueue(const std::string& label) override;
    void performAfterDelay(Duration delay, Task task) override;
    void beginModal() override;
    void endModal() override;
    bool isMainThread() const override;

private:
    class MainQueue;
    std::unique_ptr<MainQueue> main_;
    linux_impl::WorkerQueue global_;
    // Main thread only.
    int modalDepth_ = 0;
    std::vector<Task> parked_;
};

}  // namespace platform::qt
