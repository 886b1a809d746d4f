#pragma once

#include <atomic>

#include "platform/application.h"

namespace platform::qt {

// The Qt application as the shared application object. A desktop without a dock has nothing
// to switch on the policy; it is kept so that the logic can read it from any thread.
class QtSharedApplication : public SharedApplication {
public:
    ActivationPolicy activationPolicy() const override { return policy_.load(); }
    void setActivationPolicy(ActivationPolicy policy) override { policy_.store(policy); }
    void activateIgnoringOtherApps() override;
    void terminate() override;
    ApplicationDelegate* delegate() const override { return delegate_; }
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }

private:
    std::atomic<ActivationPolicy> policy_{ActivationPolicy::Accessory};
    ApplicationDelegate* delegate_ = nullptr;
};

}  // namespace platform::qt
