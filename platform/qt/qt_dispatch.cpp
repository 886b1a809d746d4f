#include "platform/qt/qt_dispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <chrono>

namespace platform::qt {

class QtDispatch::MainQueue : public Queue {
public:
    MainQueue() { context_.moveToThread(QCoreApplication::instance()->thread()); }

    void async(Task task) override {
        QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
    }
    void asyncAfter(Duration delay, Task task) override {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(delay);
        // Timers belong to the thread that starts them, so start it on the main thread.
        async([this, ms, task = std::move(task)]() mutable {
            QTimer::singleShot(ms, Qt::PreciseTimer, &context_, std::move(task));
        });
    }

private:
    QObject context_;
};

QtDispatch::QtDispatch()
    : main_(std::make_unique<MainQueue>()),
      global_("global", std::max(2u, std::thread::hardware_concurrency())) {}

QtDispatch::~QtDispatch() = default;

Queue& QtDispatch::main() { return *main_; }
Queue& QtDispatch::global() { return global_; }

std::shared_ptr<Queue> QtDispatch::makeSerialQueue(const std::string& label) {
    // Letting a queue go never waits for its work, which may itself be waiting on the caller
    // (a helper connection released on the main thread while its queue shows a dialog there).
    return std::make_shared<linux_impl::WorkerQueue>(label, 1,
                                                     linux_impl::WorkerQueue::OnRelease::Drain);
}

void QtDispatch::performAfterDelay(Duration delay, Task task) {
    main_->asyncAfter(delay, [this, task = std::move(task)]() mutable {
        if (modalDepth_ > 0) {
            parked_.push_back(std::move(task));
        } else {
            task();
        }
    });
}

void QtDispatch::beginModal() { ++modalDepth_; }

void QtDispatch::endModal() {
    if (--modalDepth_ > 0) return;
    auto parked = std::move(parked_);
    parked_.clear();
    for (auto& task : parked) main_->async(std::move(task));
}

bool QtDispatch::isMainThread() const {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace platform::qt
