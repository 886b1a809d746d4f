#include "app/app_delegate.h"
#include "platform/application.h"
#include "platform/registry.h"

int main(int argc, char** argv) {
    platform::applicationMain(argc, argv, [](platform::ApplicationContext& context) {
        return std::make_unique<AppDelegate>(context.statusBar, platform::dispatch(),
                                             platform::defaults(), platform::mainBundle());
    });
    return 0;
}
