#pragma once

#include <functional>
#include <memory>

#include "platform/status_bar.h"

namespace platform {

class ApplicationDelegate : public Responder {
public:
    virtual void applicationDidFinishLaunching() = 0;
};

// What a delegate is built with besides the registry.
struct ApplicationContext {
    StatusBar& statusBar;
};

using DelegateFactory = std::function<std::unique_ptr<ApplicationDelegate>(ApplicationContext&)>;

// Installs the platform's services in the registry, creates the one delegate, delivers the
// launch callback from the event loop and runs the loop until the application quits.
int applicationMain(int argc, char** argv, const DelegateFactory& makeDelegate);

}  // namespace platform
