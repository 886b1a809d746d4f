#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The gateway service's state as launchctl reports it. The raw value is its English name, which
// log lines print; a person reads `shownName`.
enum class QorStatus { Running, Failed, Stopped, Unknown };

std::string_view rawValue(QorStatus status);
// The raw value in the session's language: what the menu and the notification show.
std::string shownName(QorStatus status);
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
