#pragma once

#include <string>

namespace platform {

// The desktop around the application.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Asks the desktop to open the URL in the default browser; true when the request was made.
    virtual bool openURL(const std::string& url) = 0;
};

}  // namespace platform
