#pragma once

#include <optional>
#include <string>

// File URLs, as path controls and folder choosers hold their folders.
namespace platform {

// "file://" + the path with each byte outside the unreserved set and "/" percent-encoded.
std::string fileURLWithPath(const std::string& path);
// The path of a "file://" URL, decoded; absent for anything else. A "%" without two hex digits
// stays as it is.
std::optional<std::string> pathOfFileURL(const std::string& url);

}  // namespace platform
