#pragma once

#include "platform/clipboard.h"

namespace platform::qt {

// The application's clipboard; needs the QApplication.
class QtClipboard : public Clipboard {
public:
    void setText(const std::string& text) override;
};

}  // namespace platform::qt
