#pragma once

#include <string>

#include "platform/status_bar.h"

namespace platform {

// A notice the desktop shows outside the application's windows, with at most one button.
struct UserNotification {
    std::string title;
    std::string informativeText;
    // The button's title; its press performs `action` on the application's delegate, as a menu
    // item would. No button when empty.
    std::string actionButtonTitle;
    Selector action;
};

class UserNotificationCenter {
public:
    UserNotificationCenter() = default;
    UserNotificationCenter(const UserNotificationCenter&) = delete;
    UserNotificationCenter& operator=(const UserNotificationCenter&) = delete;
    virtual ~UserNotificationCenter() = default;
    // Main thread.
    virtual void deliver(const UserNotification& notification) = 0;
};

}  // namespace platform
