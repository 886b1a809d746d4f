#include "platform/testing/recording_service_management.h"

namespace platform::testing {

bool RecordingServiceManagement::jobBless(std::string_view domain, const std::string& label,
                                          const AuthorizationReference& /*authorization*/,
                                          std::optional<ServiceManagementError>& error) {
    const Call call{std::string(domain), label};
    std::function<void(const Call&)> callback;
    bool succeeds = false;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        callback = onBless_;
        succeeds = succeeds_;
        error = succeeds ? std::nullopt : error_;
    }
    if (callback) callback(call);
    return succeeds;
}

bool RecordingServiceManagement::loginItemSetEnabled(const std::string& identifier, bool enabled) {
    std::lock_guard lock(mutex_);
    loginItemCalls_.emplace_back(identifier, enabled);
    return true;
}

std::vector<std::pair<std::string, bool>> RecordingServiceManagement::loginItemCalls() const {
    std::lock_guard lock(mutex_);
    return loginItemCalls_;
}

std::vector<RecordingServiceManagement::Call> RecordingServiceManagement::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void RecordingServiceManagement::succeed() {
    std::lock_guard lock(mutex_);
    succeeds_ = true;
    error_.reset();
}

void RecordingServiceManagement::fail(ServiceManagementError error) {
    std::lock_guard lock(mutex_);
    succeeds_ = false;
    error_ = std::move(error);
}

void RecordingServiceManagement::failWithoutError() {
    std::lock_guard lock(mutex_);
    succeeds_ = false;
    error_.reset();
}

void RecordingServiceManagement::setOnBless(std::function<void(const Call&)> callback) {
    std::lock_guard lock(mutex_);
    onBless_ = std::move(callback);
}

}  // namespace platform::testing
