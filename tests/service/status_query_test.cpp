// The status query: what launchctl answers, as a status and a log line. How real children are
// run, drained and killed is the process runner's, tested with it.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/testing/test_platform.h"
#include "service/qor_tools.h"

namespace {

using platform::ProcessResult;
using namespace std::chrono_literals;

ProcessResult exited(int status, std::string output) {
    return {std::nullopt, false, status, std::move(output)};
}

// A running gateway's answer, output that is not UTF-8 beside the marker, and a non-zero status
// with the marker, are among the status_output fuzz target's seeds, held against the same rules.
TEST(StatusQuery, MapsLaunchctlsAnswer) {
    const std::string kNotRunning =
        "launchctl command ok, but service not running - 'active count = 0' found";
    const ProcessResult timedOut{std::nullopt, true, 9, "active count = 1\n"};
    const struct {
        const char* name;
        ProcessResult answer;
        QorStatus status;
        std::string log = "";  // the one line logged, if any
        std::chrono::milliseconds timeout = QorTools::kStatusQueryTimeout;
    } cases[] = {
        {"marker", exited(0, "state = running\nxactive count = 01\n"), QorStatus::Failed,
         kNotRunning},
        {"non-zero, not UTF-8", exited(113, "\xff"), QorStatus::Stopped,
         "launchctl non-zero status: 113 output: Could not parse output"},
        // Embedded as it is, never taken as a pattern.
        {"output verbatim", exited(1, "out\n%s %n\nout2\n"), QorStatus::Stopped,
         "launchctl non-zero status: 1 output: out\\n%s %n\\nout2"},
        {"no program", ProcessResult{"No such file or directory", false, 0, ""}, QorStatus::Unknown,
         "Failed to execute launchctl: No such file or directory"},
        {"timed out", timedOut, QorStatus::Unknown,
         "launchctl did not exit within 10 seconds and was killed"},
        {"timed out at 300 ms", timedOut, QorStatus::Unknown,
         "launchctl did not exit within 300 ms and was killed", 300ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::testing::TestPlatform platform;
        platform.processes->setResult(c.answer);
        EXPECT_EQ(QorTools::getStatus(c.timeout), c.status);
        EXPECT_EQ(platform.log->lines(),
                  c.log.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.log});
        // What it asks is answered by the real launchctl in launchctl's own tests.
        EXPECT_EQ(platform.processes->calls().size(), 1u);
    }
}

// What launchctl kept of a failed gateway, told as a person reads it; nothing for one that is not
// failed.
TEST(StatusQuery, ToldWhyAFailedGatewayFailed) {
    const std::string failed = "system/x = {\n\tstate = waiting\n\tactive count = 0\n";
    const struct {
        ProcessResult answer;
        std::string reason;
    } cases[] = {
        {exited(0, failed + "\tlast exit code = 1\n\tlast result = exit-code\n"
                            "\tlast status = no auth-token\x1b[2J\n}\n"),
         "The gateway's unit ended with result exit-code\nIts program's exit status: 1\n"
         "no auth-token\\x1b[2J"},
        {exited(0, failed + "}\n"), ""},
        {exited(0, "state = running\nactive count = 1\n\tlast status = old\n"), ""},
        {exited(113, failed + "\tlast status = stopped\n"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        platform::testing::TestPlatform platform;
        platform.processes->setResult(c.answer);
        EXPECT_EQ(QorTools::getFailureReason(), c.reason);
    }
}

}  // namespace
