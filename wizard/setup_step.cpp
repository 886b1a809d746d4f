#include "wizard/setup_step.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<SetupStep, std::string_view>, 6> kRawValues{{
    {SetupStep::initial, "initial"},
    {SetupStep::newOrExisting, "newOrExisting"},
    {SetupStep::newQorSetup, "newQorSetup"},
    {SetupStep::chooseExistingQor, "chooseExistingQor"},
    {SetupStep::finish, "finish"},
    {SetupStep::invalid, "invalid"},
}};

}  // namespace

std::string_view rawValue(SetupStep step) {
    for (const auto& [candidate, raw] : kRawValues) {
        if (candidate == step) return raw;
    }
    return "invalid";
}

std::optional<SetupStep> setupStepFromRawValue(std::string_view raw) {
    for (const auto& [step, candidate] : kRawValues) {
        if (candidate == raw) return step;
    }
    return std::nullopt;
}
