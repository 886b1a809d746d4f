#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/service_management.h"

namespace platform::testing {

// Records every blessing and answers as scripted: success by default.
class RecordingServiceManagement : public ServiceManagement {
public:
    struct Call {
        std::string domain;
        std::string label;
    };

    bool jobBless(std::string_view domain, const std::string& label,
                  const AuthorizationReference& authorization,
                  std::optional<ServiceManagementError>& error) override;
    bool loginItemSetEnabled(const std::string& identifier, bool enabled) override;

    std::vector<Call> calls() const;
    // Every login item change, in order: (identifier, enabled).
    std::vector<std::pair<std::string, bool>> loginItemCalls() const;
    // The next calls succeed / fail with `error` / fail without telling why.
    void succeed();
    void fail(ServiceManagementError error);
    void failWithoutError();
    // Runs inside every jobBless, before it answers and outside the lock, e.g. to put a fake
    // helper in place the way a real blessing would.
    void setOnBless(std::function<void(const Call&)> callback);

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<std::pair<std::string, bool>> loginItemCalls_;
    bool succeeds_ = true;
    std::optional<ServiceManagementError> error_;
    std::function<void(const Call&)> onBless_;
};

}  // namespace platform::testing
