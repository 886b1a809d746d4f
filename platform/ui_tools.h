#pragma once

#include <string>

// The system's one kind of alert: a warning with a single "OK" button.
class UiTools {
public:
    UiTools() = delete;
    // Main thread only; returns when the user has dismissed the alert.
    static void showAlert(const std::string& messageText, const std::string& informativeText);
    // From any thread: shows the alert from the main operation queue, after the current work,
    // without waiting for it.
    static void enqueueAlert(std::string messageText, std::string informativeText);
};
