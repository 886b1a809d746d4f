#pragma once

#include <string>

namespace platform {

// The desktop's clipboard, where a person pastes from. Main thread.
class Clipboard {
public:
    Clipboard() = default;
    Clipboard(const Clipboard&) = delete;
    Clipboard& operator=(const Clipboard&) = delete;
    virtual ~Clipboard() = default;
    // Replaces what the clipboard holds with plain text.
    virtual void setText(const std::string& text) = 0;
};

}  // namespace platform
