#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/dev-service/dev_state.h"

// The few web pages of the development service, as HTML text.
namespace orvane_dev::pages {

std::string escape(const std::string& text);
std::string login(const std::string& next, const std::vector<DevUser>& users);
std::string authenticate(const std::string& action, const std::vector<DevUser>& users,
                         const std::string& signedInUserId);
std::string authorized(const DevUser& user);
std::string storageSettings(const nlohmann::json& storage);
std::string message(const std::string& title, const std::string& text);

}  // namespace orvane_dev::pages
