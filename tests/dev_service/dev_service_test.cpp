// The development service as scripts/run starts it: alone, on a port of its choosing, until
// SIGTERM. What the client reads of its API the cloud client's loopback tests show, and its
// sign-in pages are what the end-to-end test's browser goes through.
#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>

namespace {

TEST(DevServiceProgram, RunsAloneAndStopsOnTerm) {
    // The shell tells the program's pid, then waits for it and ends with its status; no
    // early return, so the program is always stopped.
    FILE* out = ::popen("'" ORVANE_DEV_SERVICE_PROGRAM "' --port 0 & echo $!; wait $!", "r");
    ASSERT_TRUE(out);
    int pid = 0, port = 0;
    ASSERT_EQ(
        std::fscanf(out, "%d orvane-dev-service listening on http://127.0.0.1:%d", &pid, &port), 2);
    const auto page = httplib::Client("127.0.0.1", port).Get("/login?next=/");
    EXPECT_EQ(page ? page->status : 0, 200);
    ::kill(pid, SIGTERM);
    const int status = ::pclose(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
