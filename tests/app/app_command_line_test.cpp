// The command on PATH, as a real process with no display: what it answers and how it exits.
#include <gtest/gtest.h>

#include "platform/linux/posix_process_runner.h"

namespace {

TEST(AppCommandLine, AnswersWithoutADisplayAndStartsNothing) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string firstLine;
    } cases[] = {
        {{"--help"}, 0, "Usage: orvane-storage-gateway [--help | --version]"},
        {{"-platform", "offscreen", "--version"}, 0, "orvane-storage-gateway " ORVANE_VERSION},
        {{"--frobnicate"}, 2, "orvane-storage-gateway: unknown option --frobnicate"},
        {{"stray\x1b[2J"}, 2, "orvane-storage-gateway: unexpected argument stray\\x1b[2J"},
        {{},
         1,
         "orvane-storage-gateway: needs a graphical session, and neither DISPLAY nor "
         "WAYLAND_DISPLAY is set"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-i", "HOME=/nonexistent", ORVANE_APP_PROGRAM};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.firstLine);
        const auto result = platform::linux_impl::PosixProcessRunner().run(
            "/usr/bin/env", args, std::chrono::seconds(20));
        ASSERT_FALSE(result.startError);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.output.substr(0, result.output.find('\n')), c.firstLine) << result.output;
    }
}

}  // namespace
