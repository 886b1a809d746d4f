// Blessing into a temporary system root, with a launchctl that records how it was called.
#include "platform/linux/launchd_job_blesser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <pugixml.hpp>

#include "platform/linux/posix_process_runner.h"
#include "platform/linux/rooted_system_paths.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using namespace service_management_test;

constexpr char kLabel[] = "com.velmora.QorPrivilegedHelper";


class LaunchdJobBlesserTest : public ::testing::Test {
  public:
    LaunchdJobBlesserTest()
        : blesser(std::make_shared<linux_impl::RootedSystemPaths>(root.path()),
                  std::make_shared<linux_impl::PosixProcessRunner>(), bundle.path() / "App.app",
                  std::chrono::seconds(10)) {
        // Writes each call as "[arg][arg]..."; bootout always fails, as when nothing is loaded.
        writeAll(
            root.path() / "bin/launchctl",
            "#!/bin/sh\n"
            "for a in \"$@\"; do printf '[%s]' \"$a\"; done >> \"$(dirname \"$0\")/../calls\"\n"
            "echo >> \"$(dirname \"$0\")/../calls\"\n"
            "[ \"$1\" = bootout ] && exit 3\n"
            "exit \"$(cat \"$(dirname \"$0\")/../bootstrap-status\" 2>/dev/null || echo 0)\"\n",
            0755);
        putInBundle(kLabel);
    }

    fs::path inBundle(const std::string& name) const {
        return bundle.path() / "App.app/Contents/Library/LaunchServices" / name;
    }
    void putInBundle(const std::string& name) { writeAll(inBundle(name), readAll(ORVANE_HELPER_PROGRAM), 0755); }
    fs::path installed(const std::string& label) const {
        return root.path() / "Library/PrivilegedHelperTools" / label;
    }
    std::string calls() const { return readAll(root.path() / "calls"); }

    bool bless(const std::string& label, std::string_view domain = kSMDomainSystemLaunchd) {
        const AuthorizationReference reference(
            granted ? std::vector<std::string>{kSMRightBlessPrivilegedHelper}
                    : std::vector<std::string>{"some.other.right"});
        return blesser.jobBless(domain, label, reference, error);
    }

    platform::testing::TempDir root;
    platform::testing::TempDir bundle;
    linux_impl::LaunchdJobBlesser blesser;
    std::optional<ServiceManagementError> error;
    bool granted = true;
};

TEST_F(LaunchdJobBlesserTest, InstallsTheToolAndItsJobThenReplacesTheLoadedJob) {
    writeAll(installed(kLabel), "an older helper", 0544);

    ASSERT_TRUE(bless(kLabel)) << error->description();
    EXPECT_FALSE(error.has_value());

    EXPECT_EQ(readAll(installed(kLabel)), readAll(ORVANE_HELPER_PROGRAM));
    EXPECT_EQ(modeOf(installed(kLabel)), 0544u);
    // Nothing but the tool itself is left in the folder: no temporary files.
    EXPECT_EQ(std::distance(fs::directory_iterator(installed(kLabel).parent_path()), {}), 1);

    const fs::path job = root.path() / "Library/LaunchDaemons" / (std::string(kLabel) + ".plist");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(job.c_str()));
    std::map<std::string, pugi::xml_node> values;
    for (auto key = doc.child("plist").child("dict").child("key"); key;
         key = key.next_sibling("key")) {
        values[key.text().get()] = key.next_sibling();
    }
    EXPECT_STREQ(values["Label"].text().get(), kLabel);
    EXPECT_EQ(values["Program"].text().get(), fs::canonical(installed(kLabel)).string());
    EXPECT_STREQ(values["RunAtLoad"].name(), "true");
    const auto service = values["MachServices"].child("key");
    EXPECT_STREQ(service.text().get(), kLabel);
    EXPECT_STREQ(service.next_sibling().name(), "true");

    EXPECT_EQ(calls(), "[bootout][system/" + std::string(kLabel) + "]\n[bootstrap][system][" +
                           job.string() + "]\n");
}

struct FailureCase {
    const char* name;
    std::string label;
    std::string domain;
    std::function<void(LaunchdJobBlesserTest&)> arrange;
    long code;
    // Part of the error's description.
    std::string mentions;
    // Whether a tool installed earlier must be left as it was.
    bool keepsInstalledCopy;
};
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class LaunchdJobBlesserFailureTest : public LaunchdJobBlesserTest,
                                     public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LaunchdJobBlesserFailureTest, FailsWithAReason) {
    const FailureCase& c = GetParam();
    const bool plain = linux_impl::isPlainName(c.label);
    if (plain) writeAll(installed(c.label), "an older helper", 0544);
    if (c.arrange) c.arrange(*this);

    EXPECT_FALSE(bless(c.label, c.domain));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, c.code);
    EXPECT_EQ(error->domain, kSMErrorDomainFramework);
    EXPECT_FALSE(error->localizedDescription.empty());
    EXPECT_NE(error->description().find(c.mentions), std::string::npos) << error->description();
    if (c.keepsInstalledCopy) {
        if (plain) {
            EXPECT_EQ(readAll(installed(c.label)), "an older helper");
        }
        EXPECT_FALSE(fs::exists(root.path() / "calls")) << "launchctl ran: " << calls();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, LaunchdJobBlesserFailureTest,
    ::testing::Values(
        FailureCase{"HelperMissingFromTheBundle", kLabel, "system",
                    [](LaunchdJobBlesserTest& t) { fs::remove(t.inBundle(kLabel)); },
                    kSMErrorToolNotValid, "No such file", true},
        FailureCase{
            "HelperNotExecutable", kLabel, "system",
            [](LaunchdJobBlesserTest& t) { ::chmod(t.inBundle(kLabel).c_str(), 0644); },
            kSMErrorToolNotValid, "not an executable", true},
        FailureCase{"IdentifierIsAnotherLabel", "com.velmora.OtherHelper", "system",
                    [](LaunchdJobBlesserTest& t) { t.putInBundle("com.velmora.OtherHelper"); },
                    kSMErrorToolNotValid, kLabel, true},
        FailureCase{"LabelClimbsOutOfTheFolder", "../" + std::string(kLabel), "system", nullptr,
                    kSMErrorToolNotValid, "not a plain name", true},
        FailureCase{"LabelIsHidden", ".hidden", "system", nullptr, kSMErrorToolNotValid,
                    "not a plain name", true},
        FailureCase{"AuthorizationWithoutTheRight", kLabel, "system",
                    [](LaunchdJobBlesserTest& t) { t.granted = false; },
                    kSMErrorAuthorizationFailure, "blesshelper", true},
        FailureCase{"UserDomain", kLabel, "user", nullptr, kSMErrorInternalFailure, "domain", true},
        FailureCase{"JobFolderIsAFile", kLabel, "system",
                    [](LaunchdJobBlesserTest& t) {
                        writeAll(t.root.path() / "Library/LaunchDaemons", "not a folder");
                    },
                    kSMErrorInternalFailure, std::strerror(ENOTDIR), false},
        FailureCase{
            "BootstrapExitsWithFive", kLabel, "system",
            [](LaunchdJobBlesserTest& t) { writeAll(t.root.path() / "bootstrap-status", "5\n"); },
            kSMErrorInternalFailure, "status 5", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
