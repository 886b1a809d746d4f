#include "platform/linux/polkit_prompt.h"

#include <unistd.h>

namespace platform::linux_impl {
namespace {

constexpr char kAdministratorAction[] = "org.freedesktop.policykit.exec";

}  // namespace

AuthorizationStatus PolkitPrompt::askForRights(const std::vector<std::string>&) {
    // The rights are ours, the agent knows only its own actions: one administrator check
    // stands for all of them.
    const auto result = processes_->run(checker_,
                                        {"--action-id", kAdministratorAction, "--process",
                                         std::to_string(::getpid()), "--allow-user-interaction"},
                                        kPolkitAnswerBound);
    return polkitStatusForExit(result);
}

}  // namespace platform::linux_impl
