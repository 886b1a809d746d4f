#pragma once

#include <chrono>

#include "platform/authorization.h"
#include "platform/process_runner.h"

namespace platform::linux_impl {

// polkit's command-line checker, which asks the desktop's authentication agent when the policy
// wants a password.
inline constexpr char kPolkitChecker[] = "/usr/bin/pkcheck";
// Generous: the person may take their time to type a password.
inline constexpr std::chrono::minutes kPolkitAnswerBound{5};

// The answer for the checker's exit: 0 granted, 3 dismissed, 1 or 2 refused; a checker that
// could not start, did not answer in time or exited otherwise is an internal error, never a
// grant.
AuthorizationStatus polkitStatusForExit(const ProcessResult& result);

}  // namespace platform::linux_impl
