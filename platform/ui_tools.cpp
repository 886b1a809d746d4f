#include "platform/ui_tools.h"

#include "platform/registry.h"
#include "platform/translation.h"

void UiTools::showAlert(const std::string& messageText, const std::string& informativeText) {
    platform::assertMainThread(platform::dispatch());
    platform::alerts().runModal(platform::Alert{messageText,
                                                informativeText,
                                                platform::AlertStyle::Warning,
                                                {platform::translate("Alert", "OK")}});
}

void UiTools::enqueueAlert(std::string messageText, std::string informativeText) {
    platform::dispatch().main().async(
        [messageText = std::move(messageText), informativeText = std::move(informativeText)] {
            showAlert(messageText, informativeText);
        });
}
