#include "platform/linux/rooted_system_paths.h"

#include <cstdlib>

namespace platform::linux_impl {

RootedSystemPaths RootedSystemPaths::fromEnvironment() {
    const char* root = std::getenv("ORVANE_SYSTEM_ROOT");
    return RootedSystemPaths(root && *root ? root : "/");
}

std::filesystem::path RootedSystemPaths::resolve(std::string_view absolutePath) const {
    while (!absolutePath.empty() && absolutePath.front() == '/') absolutePath.remove_prefix(1);
    if (absolutePath.empty()) return root_;
    return root_ / std::filesystem::path(absolutePath);
}

}  // namespace platform::linux_impl
