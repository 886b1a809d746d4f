#pragma once

#include <functional>
#include <memory>

#include "platform/status_bar.h"
#include "platform/wizard_controls.h"

namespace platform {

class ApplicationDelegate : public Responder {
public:
    virtual void applicationDidFinishLaunching() = 0;
};

// What the setup wizard asks of the application's delegate once config.ini is written, when the
// delegate offers it.
class GatewayRestarter {
public:
    GatewayRestarter() = default;
    GatewayRestarter(const GatewayRestarter&) = delete;
    GatewayRestarter& operator=(const GatewayRestarter&) = delete;
    virtual ~GatewayRestarter() = default;
    // Makes sure the privileged helper is ready, then restarts the gateway service through it;
    // does nothing more when the helper cannot be made ready. Main thread.
    virtual void restartGatewayWhenHelperIsReady() = 0;
};

// Regular: in the Dock and the application switcher; accessory: menu-bar only.
enum class ActivationPolicy { Regular, Accessory };

// The running application itself, as the shared application object offers it.
class SharedApplication {
public:
    SharedApplication() = default;
    SharedApplication(const SharedApplication&) = delete;
    SharedApplication& operator=(const SharedApplication&) = delete;
    virtual ~SharedApplication() = default;
    // Readable from any thread: the sign-in poll asks it from a background queue.
    virtual ActivationPolicy activationPolicy() const = 0;
    // Main thread.
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Brings the application's windows to the front, ignoring other applications. Main thread.
    virtual void activateIgnoringOtherApps() = 0;
    // Ends the run loop; the process exits once the current event has been handled. Main thread.
    virtual void terminate() = 0;
    // The application's delegate; null before it is made and after it is gone. Main thread.
    virtual ApplicationDelegate* delegate() const = 0;
    // Shows the standard About panel: the bundle's name, version and copyright from its
    // information entries, and the application's icon. Main thread.
    virtual void orderFrontStandardAboutPanel() = 0;
};

// Whether there is a display to show the app on: an X11 or Wayland session, or a Qt platform
// named outright (offscreen, in tests). Asked before anything starts.
bool hasGraphicalSession();

}  // namespace platform
