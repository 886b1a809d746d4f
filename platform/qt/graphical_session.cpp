#include "platform/application.h"
#include "platform/linux/xdg_dirs.h"

namespace platform {

// Without any of these Qt finds no platform to open and aborts with a message about reinstalling
// the application, which sends a person the wrong way.
bool hasGraphicalSession() {
    using linux_impl::environmentHas;
    return environmentHas("WAYLAND_DISPLAY") || environmentHas("DISPLAY") ||
           environmentHas("QT_QPA_PLATFORM");
}

}  // namespace platform
