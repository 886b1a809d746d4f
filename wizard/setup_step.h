#pragma once

#include <optional>
#include <string_view>

// The wizard's steps, in the order of their progress values. `invalid` is never shown.
enum class SetupStep { initial, newOrExisting, newQorSetup, chooseExistingQor, finish, invalid };

std::string_view rawValue(SetupStep step);
// Exact, case-sensitive match of a raw value.
std::optional<SetupStep> setupStepFromRawValue(std::string_view raw);
