#pragma once

#include <functional>
#include <string>

namespace platform::qt {

// Asks the desktop's file manager (org.freedesktop.FileManager1 on the session bus) to show the
// folder at `uri`; `done` learns on the main thread whether it did. A file manager that cannot
// start (no display for it, say) fails the call, so the caller can try another way.
void showFolderWithFileManager(const std::string& uri, std::function<void(bool shown)> done);

}  // namespace platform::qt
