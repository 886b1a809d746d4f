#pragma once

#include <optional>
#include <string>

namespace platform::linux_impl {

// Whether the text is a URL reference: an absolute URL that the URL parser accepts, or a
// relative reference that resolves against one. Characters outside those a URL may hold
// (spaces, quotes, braces, bytes above 127, a "%" without two hex digits) make it invalid.
bool isValidURLText(const std::string& text);

// The scheme, host and port of an absolute http or https URL, lower-cased; nothing otherwise.
std::optional<std::string> originOf(const std::string& url);

// Whether the text is an absolute URL with the http or https scheme and a host.
bool isWebURL(const std::string& text);

// Whether the URL is plain http to a host that is not this computer (127.0.0.0/8, ::1,
// "localhost"): what it carries, a token among it, would cross the network readable by anyone.
bool isClearTextToAnotherComputer(const std::string& url);

}  // namespace platform::linux_impl
