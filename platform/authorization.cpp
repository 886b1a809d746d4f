#include "platform/authorization.h"

namespace platform {

std::string authorizationErrorMessage(AuthorizationStatus status) {
    switch (status) {
        case errAuthorizationSuccess: return "No error.";
        case errAuthorizationInvalidSet: return "The authorization rights are invalid.";
        case errAuthorizationInvalidRef: return "The authorization reference is invalid.";
        case errAuthorizationInvalidTag: return "The authorization tag is invalid.";
        case errAuthorizationInvalidPointer: return "The returned authorization is invalid.";
        case errAuthorizationDenied: return "The authorization was denied.";
        case errAuthorizationCanceled: return "The authorization was canceled by the user.";
        case errAuthorizationInteractionNotAllowed:
            return "The authorization was denied since no user interaction was possible.";
        case errAuthorizationInternal: return "Unable to obtain authorization for this operation.";
        default: return "OSStatus " + std::to_string(status);
    }
}

}  // namespace platform
