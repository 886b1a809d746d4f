#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/service_management.h"
#include "platform/testing/locked.h"

namespace platform::testing {

// Records every blessing and answers as scripted: success by default.
class RecordingServiceManagement : public ServiceManagement {
public:
    bool jobBless(std::string_view domain, const std::string& label, const AuthorizationReference&,
                  std::optional<ServiceManagementError>& error) override {
        blessed_.push(std::string(domain) + " " + label);
        const auto [succeeds, failure] = outcome_.get();
        error = failure;
        // Outside any lock: it may put a fake helper in place, as a real blessing would.
        if (const auto callback = onBless_.get()) callback();
        return succeeds;
    }
    bool loginItemSetEnabled(const std::string& identifier, bool enabled) override {
        loginItemCalls_.push(std::pair(identifier, enabled));
        return true;
    }

    // "<domain> <label>" of each blessing, in order.
    std::vector<std::string> blessed() const { return blessed_.get(); }
    // Every login item change, in order: (identifier, enabled).
    std::vector<std::pair<std::string, bool>> loginItemCalls() const {
        return loginItemCalls_.get();
    }
    // The next calls fail with `error` / fail without telling why.
    void fail(ServiceManagementError error) { outcome_.set({false, std::move(error)}); }
    void failWithoutError() { outcome_.set({false, std::nullopt}); }
    // Runs inside every jobBless, before it answers.
    void setOnBless(std::function<void()> callback) { onBless_.set(std::move(callback)); }

private:
    Locked<std::vector<std::string>> blessed_;
    Locked<std::vector<std::pair<std::string, bool>>> loginItemCalls_;
    Locked<std::pair<bool, std::optional<ServiceManagementError>>> outcome_{{true, std::nullopt}};
    Locked<std::function<void()>> onBless_;
};

}  // namespace platform::testing
