#include "platform/opener_watch.h"

#include "platform/dispatch.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/ui_tools.h"

namespace platform {

void reportOpenFailure(const AlertText& failed, const AlertText& why) {
    log(failed.english() + ": " + why.english());
    UiTools::enqueueAlert(failed.shown(), why.shown());
}

bool watchOpener(const AlertText& failed, const std::string& program,
                 const StartedProcess& started) {
    if (started.startError || !started.process) {
        //: %1 is a program, %2 the system's reason.
        reportOpenFailure(failed, {QT_TRANSLATE_NOOP("Alert", "%1 could not be started: %2"),
                                   program, started.startError.value_or("no process")});
        return false;
    }
    dispatch().main().asyncAfter(kOpenerFailureWindow, [failed, program,
                                                        process = started.process] {
        const auto status = process->exitStatus();
        if (!status || *status == 0) return;
        //: %1 is a program, %2 its exit status, a number.
        reportOpenFailure(
            failed, {QT_TRANSLATE_NOOP("Alert", "%1 exited with status %2 right after it started."),
                     program, std::to_string(*status)});
    });
    return true;
}

}  // namespace platform
