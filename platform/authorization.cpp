#include "platform/authorization.h"

#include "platform/translation.h"

namespace platform {

// Marked for translation: a refused or cancelled authorization is told in an alert, where the
// application shows platform::translate("Alert", message).
std::string authorizationErrorMessage(AuthorizationStatus status) {
    switch (status) {
        case errAuthorizationSuccess: return "No error.";
        case errAuthorizationInvalidSet:
            return QT_TRANSLATE_NOOP("Alert", "The authorization rights are invalid.");
        case errAuthorizationInvalidRef:
            return QT_TRANSLATE_NOOP("Alert", "The authorization reference is invalid.");
        case errAuthorizationInvalidTag:
            return QT_TRANSLATE_NOOP("Alert", "The authorization tag is invalid.");
        case errAuthorizationInvalidPointer:
            return QT_TRANSLATE_NOOP("Alert", "The returned authorization is invalid.");
        case errAuthorizationDenied:
            return QT_TRANSLATE_NOOP("Alert", "The authorization was denied.");
        case errAuthorizationCanceled:
            return QT_TRANSLATE_NOOP("Alert", "The authorization was canceled by the user.");
        case errAuthorizationInteractionNotAllowed:
            return QT_TRANSLATE_NOOP(
                "Alert", "The authorization was denied since no user interaction was possible.");
        case errAuthorizationInternal:
            return QT_TRANSLATE_NOOP("Alert", "Unable to obtain authorization for this operation.");
        default: return "OSStatus " + std::to_string(status);
    }
}

}  // namespace platform
