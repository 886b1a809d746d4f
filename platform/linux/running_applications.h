#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/workspace.h"

namespace platform::linux_impl {

// Every running instance of an application holds a shared lock on
// "<runtime dir>/running-applications/<bundle identifier>.lock" for as long as it lives; the
// kernel lets go of it when the process ends, however it ends.
class InstanceLock {
public:
    // Null when the identifier is not a plain file name or the lock cannot be taken.
    static std::unique_ptr<InstanceLock> acquire(const std::filesystem::path& runtimeDir,
                                                 const std::string& bundleIdentifier);
    // The first instance's claim: an exclusive lock on ".../<bundle identifier>.first", taken
    // without waiting. `anotherRuns` when an instance holds it already; neither a lock nor that
    // when it cannot be taken at all, and the caller runs as if alone.
    struct Sole;
    static Sole acquireSole(const std::filesystem::path& runtimeDir,
                            const std::string& bundleIdentifier);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

struct InstanceLock::Sole {
    std::unique_ptr<InstanceLock> lock;
    bool anotherRuns = false;
};

// The identifiers whose lock someone holds, each once.
std::vector<RunningApplication> runningApplicationsIn(const std::filesystem::path& runtimeDir);

}  // namespace platform::linux_impl
