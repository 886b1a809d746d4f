#include "platform/opener_watch.h"

#include "platform/dispatch.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/ui_tools.h"

namespace platform {

void reportOpenFailure(const std::string& what, const std::string& why) {
    log("Could not open " + what + ": " + why);
    UiTools::enqueueAlert("Could not open " + what, why);
}

bool watchOpener(const std::string& what, const std::string& program,
                 const StartedProcess& started) {
    if (started.startError || !started.process) {
        reportOpenFailure(
            what, program + " could not be started: " + started.startError.value_or("no process"));
        return false;
    }
    dispatch().main().asyncAfter(kOpenerFailureWindow, [what, program, process = started.process] {
        const auto status = process->exitStatus();
        if (!status || *status == 0) return;
        reportOpenFailure(what, program + " exited with status " + std::to_string(*status) +
                                    " right after it started.");
    });
    return true;
}

}  // namespace platform
