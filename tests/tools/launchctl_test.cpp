// launchctl against a fake systemd on a private bus: what each subcommand asks of systemd, its
// exit status and output, and what the status query makes of `print`.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "platform/linux/posix_process_runner.h"
#include "platform/testing/dbus/dbus_mock.h"
#include "platform/testing/test_platform.h"
#include "service/qor_tools.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kLabel[] = "com.velmora.OrvaneStorageGateway";
constexpr char kUnit[] = "com.velmora.OrvaneStorageGateway.service";
constexpr char kTarget[] = "system/com.velmora.OrvaneStorageGateway";
const std::string kRunning =
    std::string(kTarget) + " = {\n\tstate = running\n\tactive count = 1\n}\n";
const std::string kNotFound =
    "Could not find service \"com.velmora.OrvaneStorageGateway\" in domain for system\n";

void writePlist(const fs::path& file, const std::string& label) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
                           "<dict>\n\t<key>Label</key>\n\t<string>"
                        << label << "</string>\n</dict>\n</plist>\n";
}

struct Unit {
    const char* loadState;
    const char* activeState;
    const char* startResult = "done";
    int exitStatus = 0;
};

TEST(Launchctl, AnswersForTheUnitOfTheLabel) {
    platform::testing::TestPlatform platform;
    platform.services.processes = std::make_shared<platform::linux_impl::PosixProcessRunner>();
    platform.reinstall();
    const fs::path launchctl = platform.resolve("/bin/launchctl");
    fs::create_directories(launchctl.parent_path());
    fs::create_symlink(ORVANE_LAUNCHCTL, launchctl);
    // Where the helper keeps the gateway's job definition.
    const std::string job =
        platform.resolve("/Library/LaunchDaemons/com.velmora.OrvaneStorageGateway.plist").string();
    writePlist(job, kLabel);
    const std::string badJob = platform.resolve("/bad.plist").string();
    writePlist(badJob, "com.velmora/../../etc/passwd");
    platform::testing::MockSystemd systemd(platform.root.path());

    const Unit running{"loaded", "active"}, stopped{"loaded", "inactive"};
    const Unit noFile{"not-found", "inactive"}, fileRemoved{"not-found", "active"};
    const Unit failsToStart{"loaded", "inactive", "failed"}, exited{"loaded", "failed", "done", 3};
    const Unit deactivating{"loaded", "deactivating"}, failedToStart{"loaded", "failed", "failed"};
    const std::vector<std::string> print{"print", kTarget}, bootstrap{"bootstrap", "system", job};
    const std::vector<std::string> unfitLabel{"bootstrap", "system", badJob};
    const std::vector<std::string> notAJob{"bootstrap", "system", job + ".missing"};
    // On a real system only the unit is there: the definition's name gives the label.
    const std::vector<std::string> unitOnly{
        "bootstrap", "system",
        platform.resolve("/elsewhere/" + std::string(kLabel) + ".plist").string()};
    const std::vector<std::string> readState{"LoadUnit \"" + std::string(kUnit) + "\""}, none;
    const std::vector<std::string> readTwice{readState[0], readState[0]};
    const std::string start = "StartUnit \"" + std::string(kUnit) + "\" \"replace\"";
    const std::string stop = "StopUnit \"" + std::string(kUnit) + "\" \"replace\"";
    const std::string enable = "EnableUnitFiles [\"" + std::string(kUnit) + "\"] False False";
    const std::string disable = "DisableUnitFiles [\"" + std::string(kUnit) + "\"] False";
    const std::string waiting =
        std::string(kTarget) +
        " = {\n\tstate = waiting\n\tactive count = 0\n\tlast exit code = 3\n}\n";
    const std::string usage = "usage: launchctl ";
    const std::string whyNot =
        "result \"exit-code\", exit status 0\nauth-token is missing or empty";
    const std::string why =
        "\tlast result = exit-code\n\tlast status = auth-token is missing or empty\n}";
    using enum QorStatus;
    const struct {
        const char* name;
        Unit unit;
        std::vector<std::string> args;
        int status;
        std::string output;  // contained in what launchctl writes
        std::vector<std::string> calls;
        QorStatus after;  // what the status query reads afterwards
    } cases[] = {
        {"running", running, print, 0, kRunning, readState, Running},
        {"activating", {"loaded", "activating"}, print, 113, "is activating", readState, Stopped},
        {"reloading", {"loaded", "reloading"}, print, 0, kRunning, readState, Running},
        {"stopped", stopped, print, 113, kNotFound, readState, Stopped},
        {"deactivating", deactivating, print, 113, "is deactivating", readState, Stopped},
        {"failed", exited, print, 0, waiting, readTwice, Failed},
        {"no unit file", noFile, print, 113, kNotFound, readState, Stopped},
        {"file removed, still running", fileRemoved, print, 0, kRunning, readState, Running},

        {"bootstrap", stopped, bootstrap, 0, "", {start}, Running},
        {"start fails", failsToStart, bootstrap, 1, whyNot, {start, readState[0]}, Failed},
        {"failed, and why", failedToStart, print, 0, why, readTwice, Failed},
        {"bootstrap, no unit file", noFile, bootstrap, 113, kNotFound, {start}, Stopped},
        {"definition names another label", stopped, unfitLabel, 65, "does not name", none, Stopped},
        {"not a job definition", stopped, notAJob, 65, "is not named", none, Stopped},
        {"only the unit", stopped, unitOnly, 0, "", {start}, Running},
        {"bootout", running, {"bootout", kTarget}, 0, "", {stop}, Stopped},
        {"bootout, no unit file", noFile, {"bootout", kTarget}, 113, kNotFound, {stop}, Stopped},
        {"enable", stopped, {"enable", kTarget}, 0, "", {enable, "Reload"}, Stopped},
        {"disable", running, {"disable", kTarget}, 0, "", {disable, "Reload"}, Running},

        // Refused before the bus is asked anything.
        {"no subcommand", running, {}, 64, usage, none, Running},
        {"other subcommand", running, {"kickstart", kTarget}, 64, usage, none, Running},
        {"other domain", running, {"print", "gui/501/x"}, 64, usage, none, Running},
        {"extra argument", running, {"print", kTarget, "x"}, 64, usage, none, Running},
        {"path in the label", running, {"print", "system/../x"}, 64, usage, none, Running},
        {"space in the label", running, {"bootout", "system/a b"}, 64, usage, none, Running},
        {"empty label", running, {"enable", "system/"}, 64, usage, none, Running},
        {"other domain, bootstrap", running, {"bootstrap", "gui/1", job}, 64, usage, none, Running},
        {"no job definition given", running, {"bootstrap", "system"}, 64, usage, none, Running},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        systemd.setUnit(kUnit, c.unit.loadState, c.unit.activeState, c.unit.startResult,
                        c.unit.exitStatus);
        systemd.takeCalls();
        const auto result = platform::processes().run(launchctl.string(), c.args, 30s);
        EXPECT_EQ(result.status, c.status) << result.output;
        EXPECT_NE(result.output.find(c.output), std::string::npos) << result.output;
        EXPECT_EQ(systemd.takeCalls(), c.calls);
        EXPECT_EQ(QorTools::getStatus(30s), c.after);
    }
}

}  // namespace
