#include "app/command_line.h"

#include "platform/outside_text.h"

namespace {

constexpr char kCommand[] = "orvane-storage-gateway";

constexpr char kUsage[] =
    "Usage: orvane-storage-gateway [--help | --version]\n"
    "\n"
    "The Orvane Storage Gateway's menu-bar app. Started without options, it puts its icon in the\n"
    "system tray (where the desktop has none, a small status window) and stays there until Quit.\n"
    "Its menu shows whether the gateway runs, starts, stops and restarts it, opens the logs and\n"
    "the configuration backups, and opens the setup wizard.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this text and exit\n"
    "  -V, --version    show the version and exit\n"
    "\n"
    "Files:\n"
    "  /etc/orvane-storage-gateway/config.ini           the gateway's configuration\n"
    "  /var/lib/orvane-storage-gateway/ConfigBackups/   its backups, one per change\n"
    "  /var/log/orvane-storage-gateway/default.log      the gateway's log\n"
    "  $XDG_STATE_HOME/com.velmora.OrvaneStorageGatewayApp/application.log\n"
    "                                                   the app's own log (also in the journal)\n";

CommandLineAnswer refused(const std::string& what) {
    return {2, std::string(kCommand) + ": " + what + "\nTry '" + kCommand + " --help' for more.\n",
            true};
}

}  // namespace

const char kNoGraphicalSession[] =
    "orvane-storage-gateway: needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY "
    "is set\n";

std::optional<CommandLineAnswer> answerCommandLine(const std::vector<std::string>& args,
                                                   const std::string& version) {
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") return CommandLineAnswer{0, kUsage};
        if (arg == "--version" || arg == "-V") {
            return CommandLineAnswer{0, std::string(kCommand) + " " + version + "\n"};
        }
    }
    // What a person typed is shown as text, never as terminal controls.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];
        if (arg.rfind("--", 0) == 0) return refused("unknown option " + platform::escapedText(arg));
        if (arg.empty() || arg[0] != '-') {
            return refused("unexpected argument " + platform::escapedText(arg));
        }
        // A Qt option's value follows it ("-platform offscreen").
        if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') ++i;
    }
    return std::nullopt;
}
