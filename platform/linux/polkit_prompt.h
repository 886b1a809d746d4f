#pragma once

#include <memory>

#include "platform/authorization.h"
#include "platform/linux/polkit_check.h"
#include "platform/process_runner.h"

namespace platform::linux_impl {

// Asks the desktop's authentication agent for an administrator, for this process, when the
// system root is the real one.
class PolkitPrompt : public AdministratorPrompt {
public:
    explicit PolkitPrompt(std::shared_ptr<ProcessRunner> processes,
                          std::string checker = kPolkitChecker)
        : processes_(std::move(processes)), checker_(std::move(checker)) {}
    AuthorizationStatus askForRights(const std::vector<std::string>& rights) override;

private:
    std::shared_ptr<ProcessRunner> processes_;
    std::string checker_;
};

}  // namespace platform::linux_impl
