#include <iostream>

#include "app/app_delegate.h"
#include "app/command_line.h"
#include "platform/application.h"
#include "platform/registry.h"
#include "platform/service_management.h"
#include "platform/xpc_connection.h"
#include "wizard/setup_wizard_view_controller.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display and without starting anything.
    if (const auto answer = answerCommandLine({argv + 1, argv + argc}, ORVANE_VERSION)) {
        (answer->toStandardError ? std::cerr : std::cout) << answer->text;
        return answer->exitStatus;
    }
    if (!platform::hasGraphicalSession()) {
        std::cerr << kNoGraphicalSession;
        return 1;
    }
    return platform::applicationMain(argc, argv, [](platform::ApplicationContext& context) {
        auto delegate = std::make_unique<AppDelegate>(
            context.statusBar, platform::dispatch(), platform::defaults(), platform::mainBundle(),
            platform::xpc(), platform::serviceManagement(), context.application);
        context.wizardWindow.setContent(std::make_shared<SetupWizardViewController>(
            context.wizardWindow, context.application, context.computerName, platform::dispatch()));
        delegate->setWindow(&context.wizardWindow);
        return delegate;
    });
}
