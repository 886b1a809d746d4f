#include "platform/linux/polkit_prompt.h"

#include <unistd.h>

namespace platform::linux_impl {
namespace {

// Generous: the person may take their time to type a password.
constexpr std::chrono::minutes kAnswerBound{5};
constexpr char kAdministratorAction[] = "org.freedesktop.policykit.exec";

}  // namespace

AuthorizationStatus PolkitPrompt::statusForExit(const ProcessResult& result) {
    if (result.startError || result.timedOut) return errAuthorizationInternal;
    switch (result.status) {
        case 0: return errAuthorizationSuccess;
        case 1:
        case 2: return errAuthorizationDenied;
        case 3: return errAuthorizationCanceled;
        default: return errAuthorizationInternal;
    }
}

AuthorizationStatus PolkitPrompt::askForRights(const std::vector<std::string>&) {
    // The rights are ours, the agent knows only its own actions: one administrator check
    // stands for all of them.
    const auto result = processes_->run(checker_,
                                        {"--action-id", kAdministratorAction, "--process",
                                         std::to_string(::getpid()), "--allow-user-interaction"},
                                        kAnswerBound);
    return statusForExit(result);
}

}  // namespace platform::linux_impl
