#include "platform/linux/polkit_check.h"

namespace platform::linux_impl {

AuthorizationStatus polkitStatusForExit(const ProcessResult& result) {
    if (result.startError || result.timedOut) return errAuthorizationInternal;
    switch (result.status) {
        case 0: return errAuthorizationSuccess;
        case 1:
        case 2: return errAuthorizationDenied;
        case 3: return errAuthorizationCanceled;
        default: return errAuthorizationInternal;
    }
}

}  // namespace platform::linux_impl
