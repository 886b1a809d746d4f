#pragma once

#include "platform/authorization.h"
#include "platform/dispatch.h"

namespace platform::qt {

// Stands in for the administrator's password where the system root is a sandbox: the person
// confirms or cancels in a dialog. Called from any thread; the dialog always runs on the main
// thread and the caller waits for the answer.
class QtAdministratorPrompt : public AdministratorPrompt {
public:
    explicit QtAdministratorPrompt(Dispatch& dispatch) : dispatch_(dispatch) {}
    AuthorizationStatus askForRights(const std::vector<std::string>& rights) override;

private:
    AuthorizationStatus ask(const std::vector<std::string>& rights);
    Dispatch& dispatch_;
};

}  // namespace platform::qt
