#include "platform/testing/local_notification_center.h"

#include <algorithm>

namespace platform::testing {

class LocalNotificationCenter::Token : public Observation {
public:
    Token(LocalNotificationCenter& center, std::shared_ptr<std::function<void()>> handler)
        : center_(center), handler_(std::move(handler)) {}
    ~Token() override {
        std::lock_guard lock(center_.mutex_);
        std::erase_if(center_.observers_,
                      [&](const Observer& observer) { return observer.handler == handler_; });
    }

private:
    LocalNotificationCenter& center_;
    std::shared_ptr<std::function<void()>> handler_;
};

void LocalNotificationCenter::post(const std::string& name, const std::string& object) {
    std::vector<std::shared_ptr<std::function<void()>>> matching;
    {
        std::lock_guard lock(mutex_);
        posted_.emplace_back(name, object);
        for (const auto& observer : observers_) {
            if (observer.name == name && observer.object == object)
                matching.push_back(observer.handler);
        }
    }
    for (const auto& handler : matching) (*handler)();
}

std::unique_ptr<DistributedNotificationCenter::Observation> LocalNotificationCenter::addObserver(
    const std::string& name, const std::string& object, std::function<void()> handler) {
    auto shared = std::make_shared<std::function<void()>>(std::move(handler));
    std::lock_guard lock(mutex_);
    observers_.push_back({name, object, shared});
    return std::make_unique<Token>(*this, shared);
}

std::vector<std::pair<std::string, std::string>> LocalNotificationCenter::posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
}

}  // namespace platform::testing
