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

bool isPlainName(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) return false;
    }
    return true;
}

}  // namespace platform::linux_impl
