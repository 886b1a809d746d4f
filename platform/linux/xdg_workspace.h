#pragma once

#include <optional>
#include <string>

#include "platform/workspace.h"

namespace platform::linux_impl {

// Opens URLs with the desktop's opener program. The URL is one argument of its own and no shell
// is involved, so nothing in it is ever interpreted.
class XdgWorkspace : public Workspace {
public:
    explicit XdgWorkspace(std::string opener = "xdg-open") : opener_(std::move(opener)) {}

    // Only absolute http and https URLs are handed on: anything else could be read by the
    // opener as a local file or, starting with "-", as one of its options.
    bool openURL(const std::string& url) override;

    // Starts the opener and returns its process id; the caller reaps it.
    std::optional<int> spawnOpener(const std::string& url) const;

private:
    std::string opener_;
};

}  // namespace platform::linux_impl
