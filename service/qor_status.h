#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The gateway service's state as launchctl reports it. The raw value is what the menu shows.
enum class QorStatus { Running, Failed, Stopped, Unknown };

std::string_view rawValue(QorStatus status);
// The case's name as written in code; log lines print it.
std::string_view caseName(QorStatus status);
// Exact, case-sensitive match of a raw value; anything else is no status.
std::optional<QorStatus> qorStatusFromRawValue(std::string_view raw);

template <>
struct std::hash<QorStatus> {
    std::size_t operator()(QorStatus status) const noexcept {
        return std::hash<std::string_view>{}(rawValue(status));
    }
};
