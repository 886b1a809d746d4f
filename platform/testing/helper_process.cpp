#include "platform/testing/helper_process.h"

#include <spawn.h>

#include "platform/testing/test_platform.h"

namespace platform::testing {

pid_t startHelperProcess(const std::string& program, const std::filesystem::path& root,
                         const std::filesystem::path& socket,
                         const std::vector<std::string>& environment) {
    // The helper renames its socket into place once it listens: that is what is waited for, so
    // one left by an earlier server must not be taken for it.
    std::error_code ec;
    std::filesystem::remove(socket, ec);
    const std::string rootVar = "ORVANE_SYSTEM_ROOT=" + root.string();
    char pathVar[] = "PATH=/usr/bin:/bin";
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    std::vector<char*> envp{const_cast<char*>(rootVar.c_str()), pathVar};
    for (const auto& variable : environment) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid = -1;
    // A helper that never gets so far is the test's failure to report, after 5 s at most.
    if (pid > 0)
        eventually([&] { return std::filesystem::exists(socket, ec); }, std::chrono::seconds(5));
    return pid;
}

}  // namespace platform::testing
