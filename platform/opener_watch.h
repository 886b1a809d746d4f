#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/process_runner.h"

namespace platform {

// An opener (a terminal, a file manager) that exits with an error this soon after it started
// failed to open what it was given: a window that opened stays open far longer.
inline constexpr auto kOpenerFailureWindow = std::chrono::seconds(3);

// Why a log could not be shown where the session has no terminal to show it in.
inline constexpr char kNoTerminal[] =
    "No terminal that works in this session was found (looked for xdg-terminal-exec, "
    "x-terminal-emulator, foot, alacritty, kitty, gnome-terminal, konsole, xfce4-terminal and "
    "xterm). Install one of them.";

// Tells the person that `what` could not be opened and `why`: an alert and one log line.
// Main thread.
void reportOpenFailure(const std::string& what, const std::string& why);

// Reports `started` (the opener `program` started for `what`) when it did not start, or when it
// exits with an error within kOpenerFailureWindow. True when it started. Main thread.
bool watchOpener(const std::string& what, const std::string& program,
                 const StartedProcess& started);

}  // namespace platform
