#pragma once

#include "platform/alert.h"
#include "platform/dispatch.h"

namespace platform::qt {

// A QMessageBox run modally on the main thread.
class QtAlertPresenter : public AlertPresenter {
public:
    explicit QtAlertPresenter(Dispatch& dispatch) : dispatch_(dispatch) {}
    int runModal(const Alert& alert) override;

private:
    Dispatch& dispatch_;
};

}  // namespace platform::qt
