#include "service/qor_status.h"

#include <array>
#include <cstddef>

namespace {

struct Names {
    QorStatus status;
    std::string_view raw;
    std::string_view caseName;
};

constexpr std::array<Names, 4> kNames{{
    {QorStatus::Running, "Running", "Running"},
    {QorStatus::Failed, "Failed", "Failed"},
    {QorStatus::Stopped, "Stopped", "Stopped"},
    {QorStatus::Unknown, "Unknown", "Unknown"},
}};

}  // namespace

std::string_view rawValue(QorStatus status) { return kNames[static_cast<std::size_t>(status)].raw; }

std::string_view caseName(QorStatus status) {
    return kNames[static_cast<std::size_t>(status)].caseName;
}

std::optional<QorStatus> qorStatusFromRawValue(std::string_view raw) {
    for (const auto& names : kNames) {
        if (names.raw == raw) return names.status;
    }
    return std::nullopt;
}
