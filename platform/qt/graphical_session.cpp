#include <cstdlib>

#include "platform/application.h"

namespace platform {
namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

// Without any of these Qt finds no platform to open and aborts with a message about reinstalling
// the application, which sends a person the wrong way.
bool hasGraphicalSession() {
    return isSet("WAYLAND_DISPLAY") || isSet("DISPLAY") || isSet("QT_QPA_PLATFORM");
}

}  // namespace platform
