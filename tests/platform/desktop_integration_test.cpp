// The Linux desktop seams on real files, sockets and processes: autostart entries, notifications,
// detached children and what opens a file.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/socket_notification_center.h"
#include "platform/linux/system_log.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/linux/xdg_workspace.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::linux_impl;
using platform::testing::TempDir;
using service_management_test::writeAll;

constexpr char kLauncherId[] = "com.velmora.OrvaneStorageGatewayApp.Launcher.QORLauncher";

// The bundle's path holds what the entry's Exec line must quote and escape twice; what no entry
// can carry is refused with a line that says why.
TEST(XdgAutostart, WritesAndRemovesAnEntryThatRunsTheLauncherWithItsPathKept) {
    const struct {
        const char* bundle;
        const char* exec;  // nullptr: refused
    } cases[] = {
        {R"(My Apps/Orvane "$Gate`way\100.app)", R"(/My Apps/Orvane \\"\\$Gate\\`way\\\\100.app)"},
        {"My Apps/100%.app", nullptr},
        {"My Apps/Esc\x1b[31m.app", nullptr},
        {"My Apps/Csi\xc2\x9b"
         "31m.app",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bundle);
        platform::testing::TestPlatform platform;
        TempDir temp;
        const fs::path bundle = temp.path() / c.bundle;
        const fs::path launcher = bundle / "Contents/Library/LoginItems/QORLauncher.app";
        fs::create_directories(launcher / "Contents");
        std::ofstream(launcher / "Contents/Info.plist")
            << "<plist><dict><key>CFBundleIdentifier</key><string>" << kLauncherId
            << "</string><key>CFBundleExecutable</key><string>QORLauncher</string>"
               "<key>CFBundleName</key><string>QORLauncher</string></dict></plist>";
        std::ofstream(bundle / "Contents/Info.plist")
            << "<plist><dict><key>CFBundleIdentifier</"
               "key><string>com.velmora.OrvaneStorageGatewayApp"
               "</string><key>CFBundleName</key><string>orvane Storage "
               "Gateway</string></dict></plist>";
        const XdgAutostart autostart(bundle, temp.path() / "config/autostart");
        const fs::path entry =
            temp.path() / "config/autostart" / (std::string(kLauncherId) + ".desktop");

        EXPECT_EQ(autostart.setEnabled(kLauncherId, true), c.exec != nullptr);
        if (!c.exec) {
            EXPECT_FALSE(fs::exists(entry));
            EXPECT_EQ(platform.log->matching("Start at boot is not set up: the path").size(), 1u);
            continue;
        }
        EXPECT_EQ(service_management_test::readAll(entry),
                  "[Desktop Entry]\nType=Application\nName=orvane Storage Gateway\n"
                  "Comment=Starts orvane Storage Gateway at login\nExec=\"" +
                      temp.path().string() + c.exec +
                      "/Contents/Library/LoginItems/QORLauncher.app/Contents/MacOS/QORLauncher\"\n"
                      "Icon=com.velmora.OrvaneStorageGatewayApp\n"
                      "NoDisplay=true\nX-GNOME-Autostart-enabled=true\n");
        const auto validated = PosixProcessRunner().run("/usr/bin/desktop-file-validate",
                                                        {entry.string()}, std::chrono::seconds(30));
        ASSERT_FALSE(validated.startError) << "desktop-file-validate: run scripts/install-deps";
        EXPECT_EQ(validated.status, 0) << validated.output;
        EXPECT_EQ(fs::directory_iterator(entry.parent_path())->path(), entry)
            << "no temporary left";
        EXPECT_TRUE(autostart.setEnabled(kLauncherId, false));
        EXPECT_FALSE(fs::exists(entry));
        EXPECT_TRUE(autostart.setEnabled(kLauncherId, false));
        EXPECT_FALSE(autostart.setEnabled("com.velmora.Unknown", true));
        EXPECT_FALSE(autostart.setEnabled("../escape", true));
    }
}

TEST(SocketNotificationCenter, DeliversOnlyTheObservedNameAndObjectAcrossCenters) {
    TempDir runtime;
    SocketNotificationCenter observing(runtime.path()), posting(runtime.path());
    std::atomic<int> received{0};
    auto observation = observing.addObserver("killLauncher", "com.velmora.OrvaneStorageGatewayApp",
                                             [&] { ++received; });
    ASSERT_TRUE(observation);
    posting.post("terminate", "com.velmora.OrvaneStorageGatewayApp");
    posting.post("killLauncher", "com.velmora.OrvaneStorageGatewayApp.Launcher.QORLauncher");
    posting.post("killLauncher", "");
    posting.post("killLauncher", "com.velmora.OrvaneStorageGatewayApp");
    // Datagrams arrive in order, so the ones before the matching one were already turned away.
    EXPECT_TRUE(platform::testing::eventually([&] { return received > 0; }));
    EXPECT_EQ(received, 1);
    observation.reset();
    EXPECT_TRUE(fs::is_empty(runtime.path() / "distributed-notifications"));
}

// What a person gets, through a terminal that runs what follows its -e as the real one does, here
// without a window: "Console" shows the file through a pager that only reads it, whatever its
// name; "Terminal" runs the application's log script, which follows the journal where it holds
// the app's lines and the app's own file otherwise.
TEST(XdgWorkspace, ConsoleShowsTheFileAndTerminalStreamsTheApplicationLog) {
    TempDir dir;
    const auto executable = [&](const std::string& name, const std::string& script) {
        writeAll(dir.path() / name, "#!/bin/sh\n" + script, 0755);
        return (dir.path() / name).string();
    };
    const auto terminal = executable("terminal",
                                     "while [ \"$1\" != -e ]; do shift; done\nshift\n"
                                     "exec \"$@\"\n");
    fs::create_directories(dir.path() / "bin");
    for (const char* tool : {"tail", "grep"}) {
        fs::create_symlink(fs::path("/usr/bin") / tool, dir.path() / "bin" / tool);
    }
    executable("journal-bin/journalctl", "echo \"journal $*\"\n");
    const fs::path state = dir.path() / "state/com.velmora.OrvaneStorageGatewayApp";
    writeAll(state / "application.log", "logged line\n");
    const std::string shown = (dir.path() / "a b;$(touch x).log").string();
    writeAll(shown, "shown line\n");
    const std::string marker = (dir.path() / "preprocessed").string();
    const struct {
        std::string file;
        const char* application;
        std::string path;  // PATH of the terminal
        std::string output;
    } cases[] = {
        {shown, "Console", "/usr/bin:/bin", "shown line\n"},
        {ORVANE_LOG_SCRIPT, "Terminal", (dir.path() / "bin").string(),
         "Application log: " + (state / "application.log").string() + "\n\nlogged line\n"},
        {ORVANE_LOG_SCRIPT, "Terminal",
         (dir.path() / "journal-bin").string() + ":" + (dir.path() / "bin").string(),
         std::string("journal --follow --lines=200 --identifier=") + kApplicationLogIdentifier +
             "\n"},
    };
    XdgWorkspace workspace(std::make_shared<PosixProcessRunner>(), std::nullopt,
                           {"/bin/true", terminal, "/usr/bin/less"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto command = workspace.commandToOpenFile(c.file, c.application);
        ASSERT_TRUE(command);
        std::vector<std::string> args = {
            "PATH=" + c.path, "XDG_STATE_HOME=" + (dir.path() / "state").string(),
            "LESSOPEN=|touch " + marker + "; cat %s", command->executable};
        args.insert(args.end(), command->arguments.begin(), command->arguments.end());
        // The log is followed until the window closes: here, until the deadline.
        const auto result =
            PosixProcessRunner().run("/usr/bin/env", args, std::chrono::milliseconds(500));
        EXPECT_EQ(result.output, c.output);
    }
    EXPECT_FALSE(fs::exists(marker)) << "the pager let a preprocessor see the file";
    EXPECT_FALSE(workspace.commandToOpenFile("-rf", "Console"));
    EXPECT_FALSE(workspace.commandToOpenFile("/opt/logs.sh", "Finder"));
}

// The terminal is one that works in the session: the declared one, else Debian's choice unless
// it leads to an X11-only terminal without DISPLAY, else a known one for the session.
TEST(XdgWorkspace, ChoosesATerminalThatWorksInTheSession) {
    TempDir dir;
    const struct {
        std::vector<std::string> installed;  // "x-terminal-emulator>xterm": a link to xterm
        const char* display;
        const char* wayland;
        std::string chosen;  // the program and its arguments before the command; "" for none
    } cases[] = {
        {{"xdg-terminal-exec", "x-terminal-emulator>xterm", "foot"},
         "",
         "wayland-1",
         "xdg-terminal-exec"},
        {{"x-terminal-emulator>xterm", "foot"}, "", "wayland-1", "foot -T t"},
        {{"x-terminal-emulator>xterm", "foot"}, ":0", "", "x-terminal-emulator -T t -e"},
        {{"x-terminal-emulator>kitty"}, "", "wayland-1", "x-terminal-emulator -T t -e"},
        {{"foot", "gnome-terminal", "xterm"}, ":0", "", "gnome-terminal --title t --"},
        {{"xterm"}, "", "wayland-1", ""},
        {{"xdg-terminal-exec"}, "", "", ""},
    };
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        const fs::path bin = dir.path() / std::to_string(i);
        fs::create_directories(bin);
        for (const auto& entry : c.installed) {
            const auto link = entry.find('>');
            const fs::path file = bin / entry.substr(0, link);
            writeAll(link == std::string::npos ? file : bin / entry.substr(link + 1), "#!/bin/sh\n",
                     0755);
            if (link != std::string::npos) fs::create_symlink(bin / entry.substr(link + 1), file);
        }
        ::setenv("PATH", bin.c_str(), 1);
        ::setenv("DISPLAY", c.display, 1);
        ::setenv("WAYLAND_DISPLAY", c.wayland, 1);
        const auto command =
            XdgWorkspace(std::make_shared<PosixProcessRunner>(), std::nullopt).terminalCommand("t");
        std::string chosen;
        if (command) {
            chosen = fs::path(command->executable).filename().string();
            for (const auto& argument : command->arguments) chosen += " " + argument;
        }
        EXPECT_EQ(chosen, c.chosen);
    }
    ::setenv("PATH", oldPath.c_str(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
}

// Backups are shown by the desktop's file manager over D-Bus; where none answers, through the
// opener, whose failure the person is told of.
TEST(XdgWorkspace, ShowsAFolderThroughTheFileManagerElseTheOpener) {
    platform::testing::TestPlatform platform;
    const std::string folder = "/var/lib/a b,c";
    for (const bool answers : {true, false}) {
        SCOPED_TRACE(answers);
        std::vector<std::string> asked;
        XdgWorkspace workspace(platform.processes, std::nullopt, {"/bin/false", "", "less"},
                               [&](const std::string& uri, std::function<void(bool)> done) {
                                   asked.push_back(uri);
                                   done(answers);
                               });
        platform.processes->clearCalls();
        platform.processes->setStartResult(
            {std::nullopt, std::make_shared<platform::testing::FakeChildProcess>(7, 4)});
        EXPECT_TRUE(workspace.selectFile("", folder));
        EXPECT_EQ(asked, std::vector<std::string>{"file:///var/lib/a%20b%2Cc"});
        EXPECT_EQ(platform.processes->starts().size(), answers ? 0u : 1u);
        platform.dispatch->advance(platform::seconds(3));
        EXPECT_EQ(platform.log->contains("Could not open " + folder +
                                         ": /bin/false exited with status 4 right after it "
                                         "started."),
                  !answers);
    }
}

}  // namespace
