#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/dbus/dbus_mock.h"

namespace platform::testing {

// polkit's authority (dbusmock's template) on a private system bus: it refuses every action
// until told otherwise and never asks anyone.
class MockPolkit : public DbusMock {
public:
    explicit MockPolkit(const std::filesystem::path& folder);
    // From now on these actions, and only these, are granted.
    void setAllowed(const std::vector<std::string>& actions);
    // The authority's CheckAuthorization calls so far, one line of arguments each.
    std::vector<std::string> checks() const;
};

}  // namespace platform::testing
