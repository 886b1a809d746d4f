#include "service/qor_status.h"

#include <array>
#include <cstddef>

#include "platform/translation.h"

namespace {

struct Names {
    QorStatus status;
    std::string_view raw;
    std::string_view caseName;
    // The raw value again, marked for translation.
    const char* shown;
};

constexpr std::array<Names, 4> kNames{{
    {QorStatus::Running, "Running", "Running", QT_TRANSLATE_NOOP("Status", "Running")},
    {QorStatus::Failed, "Failed", "Failed", QT_TRANSLATE_NOOP("Status", "Failed")},
    {QorStatus::Stopped, "Stopped", "Stopped", QT_TRANSLATE_NOOP("Status", "Stopped")},
    {QorStatus::Unknown, "Unknown", "Unknown", QT_TRANSLATE_NOOP("Status", "Unknown")},
}};

}  // namespace

std::string_view rawValue(QorStatus status) { return kNames[static_cast<std::size_t>(status)].raw; }

std::string shownName(QorStatus status) {
    return platform::translate("Status", kNames[static_cast<std::size_t>(status)].shown);
}

std::string_view caseName(QorStatus status) {
    return kNames[static_cast<std::size_t>(status)].caseName;
}

std::optional<QorStatus> qorStatusFromRawValue(std::string_view raw) {
    for (const auto& names : kNames) {
        if (names.raw == raw) return names.status;
    }
    return std::nullopt;
}
