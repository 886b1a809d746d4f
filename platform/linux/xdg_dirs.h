#pragma once

#include <filesystem>
#include <optional>

// The user's folders as the XDG base directory conventions place them.
namespace platform::linux_impl {

// $XDG_CONFIG_HOME when absolute, else $HOME/.config (/tmp without a home).
std::filesystem::path xdgConfigHome();
// $XDG_STATE_HOME when absolute, else $HOME/.local/state (/tmp without a home).
std::filesystem::path xdgStateHome();
// $XDG_RUNTIME_DIR when absolute; there is no safe stand-in for it.
std::optional<std::filesystem::path> xdgRuntimeDir();
// True when the variable is set and not empty (DISPLAY, WAYLAND_DISPLAY, ...).
bool environmentHas(const char* name);

}  // namespace platform::linux_impl
