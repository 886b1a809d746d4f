#pragma once

#include <string>
#include <vector>

namespace platform {

enum class AlertStyle { Warning = 0, Informational = 1, Critical = 2 };

struct Alert {
    std::string messageText;
    std::string informativeText;
    AlertStyle style = AlertStyle::Warning;
    std::vector<std::string> buttons;
};

class AlertPresenter {
public:
    AlertPresenter() = default;
    AlertPresenter(const AlertPresenter&) = delete;
    AlertPresenter& operator=(const AlertPresenter&) = delete;
    virtual ~AlertPresenter() = default;
    // Shows the alert modally on the main thread and returns the index of the chosen button.
    virtual int runModal(const Alert& alert) = 0;
};

}  // namespace platform
