// Blessing into a temporary system root, with a launchctl that records how it was called, and
// the sandbox's launchctl stand-in as scripts/run installs it: where the root keeps launchctl.
// What the stand-in does with the gateway's job the end-to-end test reads from its log and state.
#include "platform/linux/linux_service_management.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <functional>
#include <map>

#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace service_management_test;

constexpr char kLabel[] = "com.velmora.QorPrivilegedHelper";

class LinuxServiceManagementTest : public ::testing::Test {
public:
    explicit LinuxServiceManagementTest(
        linux_impl::InstallationKind installation = linux_impl::InstallationKind::sandbox)
        : blesser(std::make_shared<linux_impl::RootedSystemPaths>(root.path()),
                  std::make_shared<linux_impl::PosixProcessRunner>(), bundle.path() / "App.app",
                  installation, std::chrono::seconds(10)) {
        // Writes each call as "[arg][arg]..."; bootout always fails, as when nothing is loaded;
        // other subcommands exit with the status in "<subcommand>-status", else 0.
        writeAll(at("/bin/launchctl"),
                 "#!/bin/sh\n"
                 "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> \"$(dirname \"$0\")/calls\"\n"
                 "echo >> \"$(dirname \"$0\")/calls\"\n"
                 "[ \"$1\" = bootout ] && exit 3\n"
                 "exit \"$(cat \"$(dirname \"$0\")/$1-status\" 2>/dev/null || echo 0)\"\n",
                 0755);
        putInBundle(kLabel);
    }

    fs::path inBundle(const std::string& name) const {
        return bundle.path() / "App.app/Contents/Library/LaunchServices" / name;
    }
    void putInBundle(const std::string& name) {
        writeAll(inBundle(name), readAll(ORVANE_HELPER_PROGRAM), 0755);
    }
    fs::path installed(const std::string& label) const {
        return at("/Library/PrivilegedHelperTools") / label;
    }
    // The system's path below the root, where this system keeps it.
    fs::path at(std::string_view path) const {
        return linux_impl::RootedSystemPaths(root.path()).resolve(path);
    }
    fs::path beside(const std::string& name) const {
        return at("/bin/launchctl").parent_path() / name;
    }
    std::string calls() const { return readAll(beside("calls")); }
    // A file's contents in short, so that a failure does not print (nor diff) a whole program.
    static std::size_t digest(const fs::path& file) {
        return std::hash<std::string>{}(readAll(file));
    }
    // The tools folder (where launchctl also lives) by name and digest, but for the calls
    // launchctl records.
    std::map<std::string, std::size_t> toolsFolder() const {
        std::map<std::string, std::size_t> files;
        for (const auto& entry : fs::directory_iterator(installed(kLabel).parent_path())) {
            const auto name = entry.path().filename().string();
            if (name != "calls") files[name] = digest(entry.path());
        }
        return files;
    }

    bool bless() {
        const AuthorizationReference reference(
            granted ? std::vector<std::string>{kSMRightBlessPrivilegedHelper}
                    : std::vector<std::string>{"some.other.right"});
        return blesser.jobBless(domain, label, reference, error);
    }

    platform::testing::TempDir root;
    platform::testing::TempDir bundle;
    linux_impl::LinuxServiceManagement blesser;
    std::optional<ServiceManagementError> error;
    bool granted = true;
    std::string label = kLabel;
    std::string domain{kSMDomainSystemLaunchd};
};

TEST_F(LinuxServiceManagementTest, InstallsTheToolAndItsJobThenReplacesTheLoadedJob) {
    writeAll(installed(kLabel), "an older helper", 0544);

    ASSERT_TRUE(bless()) << error->description();
    EXPECT_FALSE(error.has_value());

    EXPECT_EQ(modeOf(installed(kLabel)), 0544u);
    // Nothing but the tool is added to its folder (launchctl lives there too): no temporary files.
    EXPECT_EQ(toolsFolder(),
              (std::map<std::string, std::size_t>{{kLabel, digest(ORVANE_HELPER_PROGRAM)},
                                                  {"launchctl", digest(at("/bin/launchctl"))}}));

    const fs::path job = at("/Library/LaunchDaemons") / (std::string(kLabel) + ".plist");
    // What the job says is read, and run, by the sandbox's launchctl below.
    EXPECT_TRUE(fs::exists(job));
    EXPECT_EQ(calls(), "[bootout][system/" + std::string(kLabel) + "]\n[bootstrap][system][" +
                           job.string() + "]\n");
}

struct FailureCase {
    const char* name;
    std::function<void(LinuxServiceManagementTest&)> arrange;
    long code;
    // Part of the error's description.
    std::string mentions;
    // Whether a tool installed earlier must be left as it was.
    bool keepsInstalledCopy;
};

class LinuxServiceManagementFailureTest : public LinuxServiceManagementTest,
                                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LinuxServiceManagementFailureTest, FailsWithAReason) {
    const FailureCase& c = GetParam();
    c.arrange(*this);
    const bool plain = linux_impl::isPlainName(label);
    if (plain) writeAll(installed(label), "an older helper", 0544);

    EXPECT_FALSE(bless());
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, c.code);
    EXPECT_EQ(error->domain, kSMErrorDomainFramework);
    EXPECT_FALSE(error->localizedDescription.empty());
    EXPECT_NE(error->description().find(c.mentions), std::string::npos) << error->description();
    if (c.keepsInstalledCopy) {
        if (plain) {
            EXPECT_EQ(readAll(installed(label)), "an older helper");
        }
        EXPECT_FALSE(fs::exists(beside("calls"))) << "launchctl ran: " << calls();
    }
}

using T = LinuxServiceManagementTest;
INSTANTIATE_TEST_SUITE_P(
    Failures, LinuxServiceManagementFailureTest,
    ::testing::ValuesIn(std::vector<FailureCase>{
        {"HelperMissingFromTheBundle", [](T& t) { fs::remove(t.inBundle(kLabel)); },
         kSMErrorToolNotValid, "No such file", true},
        {"HelperNotExecutable", [](T& t) { ::chmod(t.inBundle(kLabel).c_str(), 0644); },
         kSMErrorToolNotValid, "not an executable", true},
        {"IdentifierIsAnotherLabel",
         [](T& t) { t.putInBundle(t.label = "com.velmora.OtherHelper"); }, kSMErrorToolNotValid,
         kLabel, true},
        {"LabelClimbsOutOfTheFolder", [](T& t) { t.label = std::string("../") + kLabel; },
         kSMErrorToolNotValid, "not a plain name", true},
        {"AuthorizationWithoutTheRight", [](T& t) { t.granted = false; },
         kSMErrorAuthorizationFailure, "blesshelper", true},
        {"UserDomain", [](T& t) { t.domain = "user"; }, kSMErrorInternalFailure, "domain", true},
        {"JobFolderIsAFile", [](T& t) { writeAll(t.at("/Library/LaunchDaemons"), "not a folder"); },
         kSMErrorInternalFailure, std::strerror(ENOTDIR), false},
        {"BootstrapExitsWithFive", [](T& t) { writeAll(t.beside("bootstrap-status"), "5\n"); },
         kSMErrorInternalFailure, "status 5", false}}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the package installed the helper, blessing only checks it: nothing is written, nothing
// is booted out or bootstrapped, and no right is needed for it.
struct PackagedCase {
    const char* name;
    std::function<void(LinuxServiceManagementTest&)> arrange;
    bool blesses;
    // Part of the error's details, for the log.
    std::string mentions;
    std::string calls;
};

// The helper with the first character of its version changed.
std::string anotherVersion() {
    std::string bytes = readAll(ORVANE_HELPER_PROGRAM);
    const auto key = bytes.find("<key>CFBundleShortVersionString</key>");
    const auto at = bytes.find("<string>", key) + std::strlen("<string>");
    bytes[at] = bytes[at] == '9' ? '8' : '9';
    return bytes;
}

class PackagedHelperTest : public LinuxServiceManagementTest,
                           public ::testing::WithParamInterface<PackagedCase> {
protected:
    PackagedHelperTest() : LinuxServiceManagementTest(linux_impl::InstallationKind::package) {
        granted = false;
        writeAll(installed(kLabel), readAll(ORVANE_HELPER_PROGRAM), 0755);
    }
};

TEST_P(PackagedHelperTest, ChecksTheInstalledHelperAndCopiesNothing) {
    const PackagedCase& c = GetParam();
    c.arrange(*this);
    const auto before = toolsFolder();

    EXPECT_EQ(bless(), c.blesses);
    if (c.blesses) {
        EXPECT_FALSE(error.has_value()) << error->description();
    } else {
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->localizedDescription,
                  "The helper tool is not installed or does not match this version of the app. "
                  "Reinstall the orvane-storage-gateway package.");
        EXPECT_NE(error->debugDescription.find(c.mentions), std::string::npos)
            << error->debugDescription;
    }
    EXPECT_EQ(toolsFolder(), before);
    EXPECT_FALSE(fs::exists(at("/Library/LaunchDaemons")));
    EXPECT_EQ(calls(), c.calls);
}

const std::string kPrinted = "[print][system/" + std::string(kLabel) + "]\n";
INSTANTIATE_TEST_SUITE_P(
    Package, PackagedHelperTest,
    ::testing::ValuesIn(std::vector<PackagedCase>{
        {"CurrentAndRunning", [](T&) {}, true, "", kPrinted},
        {"Missing", [](T& t) { fs::remove(t.installed(kLabel)); }, false, "is missing", ""},
        {"AnotherVersion", [](T& t) { writeAll(t.installed(kLabel), anotherVersion(), 0755); },
         false, "version", ""},
        {"NotRunning", [](T& t) { writeAll(t.beside("print-status"), "113\n"); }, false,
         "status 113", kPrinted}}),
    [](const auto& info) { return std::string(info.param.name); });

// Alive and not merely waiting to be reaped.
bool running(pid_t pid) {
    const auto fields = statFields("/proc/" + std::to_string(pid) + "/stat");
    return !fields.empty() && fields[0] != "Z";
}

class SandboxLaunchctlTest : public LinuxServiceManagementTest {
protected:
    SandboxLaunchctlTest() {
        writeAll(at("/bin/launchctl"), readAll(ORVANE_SANDBOX_LAUNCHCTL), 0755);
        fs::create_directories(at("/var/run"));
    }
    ~SandboxLaunchctlTest() override {
        // Whatever a failed test left running goes with it.
        if (started > 0 && running(started)) ::kill(started, SIGKILL);
    }

    ProcessResult launchctl(const std::vector<std::string>& args) {
        return linux_impl::PosixProcessRunner().run(at("/bin/launchctl").string(), args,
                                                    std::chrono::seconds(10));
    }
    fs::path pidFile() const { return at("/var/run") / (std::string(kLabel) + ".pid"); }
    fs::path stateFile() const { return at("/var/run/gateway.state"); }

    pid_t started = 0;
};

TEST_F(SandboxLaunchctlTest, ABlessedHelperServesUntilBootout) {
    writeAll(stateFile(), "running\n");
    ASSERT_TRUE(bless()) << error->description();

    const pid_t pid = started = std::stoi(readAll(pidFile()));
    EXPECT_TRUE(running(pid));

    const auto stopped = launchctl({"bootout", std::string("system/") + kLabel});
    EXPECT_EQ(stopped.status, 0) << stopped.output;
    EXPECT_FALSE(running(pid));
    EXPECT_FALSE(fs::exists(pidFile()));
    // With nothing left to stop it still succeeds.
    EXPECT_EQ(launchctl({"bootout", std::string("system/") + kLabel}).status, 0);
    // The helper's job is not the gateway's.
    EXPECT_EQ(readAll(stateFile()), "running\n");
}

}  // namespace
