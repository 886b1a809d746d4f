#pragma once

#include "app/app_delegate.h"
#include "platform/testing/test_platform.h"

namespace app_test {

// The delegate's services on a test platform: what is installed there when this is called (a
// process runner or workspace installed later serves only the registry's users), the status bar
// it draws on, and the connector and the blesser, which are no registry services. `bundle`
// replaces the installed one where given.
inline AppDelegate::Services appServices(platform::testing::TestPlatform& p,
                                         platform::StatusBar& statusBar,
                                         platform::XpcConnector& connector,
                                         platform::ServiceManagement& serviceManagement,
                                         const platform::Bundle* bundle = nullptr) {
    const auto& s = p.services;
    return {.statusBar = statusBar,
            .application = *p.application,
            .dispatch = *s.dispatch,
            .defaults = *s.defaults,
            .bundle = bundle ? *bundle : *s.mainBundle,
            .connector = connector,
            .serviceManagement = serviceManagement,
            .files = *s.files,
            .processes = *s.processes,
            .paths = *s.paths,
            .workspace = *s.workspace,
            .notifications = s.notifications.get(),
            .serviceStates = p.serviceStates.get(),
            .userNotifications = p.userNotifications.get()};
}

}  // namespace app_test
