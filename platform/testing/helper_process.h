#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace platform::testing {

// Starts the helper program as its own process below `root` (no other environment than
// `environment`, "NAME=value" each) and waits up to 5 s until it has put its listening `socket`
// in place. The process id, or -1 when it could not be started.
pid_t startHelperProcess(const std::string& program, const std::filesystem::path& root,
                         const std::filesystem::path& socket,
                         const std::vector<std::string>& environment = {});

}  // namespace platform::testing
