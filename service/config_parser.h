#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace config_parser {

// The value of the first "key = value" line whose key is `name`; see QorTools::getConfigValue.
std::optional<std::string> findValue(std::string_view text, std::string_view name);

bool isValidUtf8(std::string_view bytes);

// The text without a leading UTF-8 byte-order mark.
std::string_view skipByteOrderMark(std::string_view text);

}  // namespace config_parser
