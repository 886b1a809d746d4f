#include "platform/linux/xdg_dirs.h"

#include <cstdlib>

namespace platform::linux_impl {
namespace {

// Relative values are to be ignored, as the conventions say.
std::optional<std::filesystem::path> absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || *value != '/') return std::nullopt;
    return std::filesystem::path(value);
}

std::filesystem::path homeOr(const char* variable, const char* belowHome) {
    if (auto value = absoluteVariable(variable)) return *value;
    if (auto home = absoluteVariable("HOME")) return *home / belowHome;
    return "/tmp";
}

}  // namespace

std::filesystem::path xdgConfigHome() { return homeOr("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path xdgStateHome() { return homeOr("XDG_STATE_HOME", ".local/state"); }
std::optional<std::filesystem::path> xdgRuntimeDir() { return absoluteVariable("XDG_RUNTIME_DIR"); }

bool environmentHas(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace platform::linux_impl
