#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/wizard_controls.h"

namespace platform::linux_impl {

// The pretty host name that the machine's settings hold, else its host name.
class HostComputerName : public ComputerName {
public:
    explicit HostComputerName(std::filesystem::path machineInfo = "/etc/machine-info")
        : machineInfo_(std::move(machineInfo)) {}
    std::optional<std::string> localizedName() const override;

private:
    std::filesystem::path machineInfo_;
};

// The value of PRETTY_HOSTNAME in a machine-info file (shell-style assignments, the value
// optionally quoted); absent when the key is missing or empty.
std::optional<std::string> prettyHostName(const std::string& machineInfo);

}  // namespace platform::linux_impl
