#include "platform/service_management.h"

namespace platform {

std::string ServiceManagementError::description() const {
    std::string text = "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
                       localizedDescription + "\"";
    if (!debugDescription.empty())
        text += " UserInfo={NSDebugDescription=" + debugDescription + "}";
    return text;
}

}  // namespace platform
