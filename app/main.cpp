#include "app/app_delegate.h"
#include "platform/application.h"
#include "platform/registry.h"
#include "platform/service_management.h"
#include "platform/xpc_connection.h"

int main(int argc, char** argv) {
    platform::applicationMain(argc, argv, [](platform::ApplicationContext& context) {
        return std::make_unique<AppDelegate>(context.statusBar, platform::dispatch(),
                                             platform::defaults(), platform::mainBundle(),
                                             platform::xpc(), platform::serviceManagement());
    });
    return 0;
}
