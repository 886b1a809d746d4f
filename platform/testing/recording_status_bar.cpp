#include "platform/testing/recording_status_bar.h"

#include <algorithm>

namespace platform::testing {

std::shared_ptr<StatusItem> RecordingStatusBar::makeStatusItem(double length) {
    auto item = std::make_shared<FakeStatusItem>(length);
    statusItems.push_back(item);
    return item;
}

std::shared_ptr<Image> RecordingStatusBar::imageNamed(const std::string& name) {
    imageRequests.push_back(name);
    if (std::find(imageNames.begin(), imageNames.end(), name) == imageNames.end()) return nullptr;
    return std::make_shared<FakeImage>(name);
}

}  // namespace platform::testing
