#pragma once

#include <atomic>

#include "platform/application.h"

namespace platform::testing {

class RecordingApplication : public SharedApplication {
public:
    ActivationPolicy activationPolicy() const override { return policy.load(); }
    void setActivationPolicy(ActivationPolicy p) override { policy.store(p); }
    void activateIgnoringOtherApps() override { ++activations; }
    void terminate() override { ++terminations; }
    ApplicationDelegate* delegate() const override { return applicationDelegate; }
    void orderFrontStandardAboutPanel() override { ++aboutPanels; }

    std::atomic<ActivationPolicy> policy{ActivationPolicy::Accessory};
    std::atomic<int> activations{0};
    std::atomic<int> terminations{0};
    ApplicationDelegate* applicationDelegate = nullptr;
    std::atomic<int> aboutPanels{0};
};

}  // namespace platform::testing
