#pragma once

#include <QPointer>
#include <atomic>

#include "platform/application.h"
#include "platform/bundle.h"

class QDialog;

namespace platform::qt {

// The Qt application as the shared application object. A desktop without a dock has nothing
// to switch on the policy; it is kept so that the logic can read it from any thread.
class QtSharedApplication : public SharedApplication {
public:
    explicit QtSharedApplication(const Bundle& bundle) : bundle_(bundle) {}
    ~QtSharedApplication() override;
    QtSharedApplication(const QtSharedApplication&) = delete;
    QtSharedApplication& operator=(const QtSharedApplication&) = delete;
    ActivationPolicy activationPolicy() const override { return policy_.load(); }
    void setActivationPolicy(ActivationPolicy policy) override { policy_.store(policy); }
    void activateIgnoringOtherApps() override;
    void terminate() override;
    ApplicationDelegate* delegate() const override { return delegate_; }
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
    // One panel: choosing About again brings the open one to the front.
    void orderFrontStandardAboutPanel() override;

private:
    const Bundle& bundle_;
    std::atomic<ActivationPolicy> policy_{ActivationPolicy::Accessory};
    ApplicationDelegate* delegate_ = nullptr;
    QPointer<QDialog> aboutPanel_;
};

}  // namespace platform::qt
