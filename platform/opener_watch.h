#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/process_runner.h"
#include "platform/translation.h"

namespace platform {

// An opener (a terminal, a file manager) that exits with an error this soon after it started
// failed to open what it was given: a window that opened stays open far longer.
inline constexpr auto kOpenerFailureWindow = std::chrono::seconds(3);

//: %1 is the path of a file or folder.
inline constexpr char kCouldNotOpen[] = QT_TRANSLATE_NOOP("Alert", "Could not open %1");
// Why a log could not be shown where the session has no terminal to show it in.
inline constexpr char kNoTerminal[] = QT_TRANSLATE_NOOP(
    "Alert",
    "No terminal that works in this session was found (looked for xdg-terminal-exec, "
    "x-terminal-emulator, foot, alacritty, kitty, gnome-terminal, konsole, xfce4-terminal and "
    "xterm). Install one of them.");

// Tells the person that something could not be opened (`failed`, the alert's title) and `why`:
// an alert and one log line. Main thread.
void reportOpenFailure(const AlertText& failed, const AlertText& why);

// Reports `started` (the opener `program`, started for what `failed` names) when it did not
// start, or when it exits with an error within kOpenerFailureWindow. True when it started. Main
// thread.
bool watchOpener(const AlertText& failed, const std::string& program,
                 const StartedProcess& started);

}  // namespace platform
