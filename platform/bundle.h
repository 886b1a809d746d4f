#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// An application bundle: "<name>.app/Contents/{Info.plist, MacOS/, Resources/}".
class Bundle {
public:
    virtual ~Bundle() = default;
    virtual std::filesystem::path bundlePath() const = 0;
    // A string entry of the information dictionary; absent when missing or of another type.
    virtual std::optional<std::string> infoString(const std::string& key) const = 0;
    virtual std::optional<std::filesystem::path> resourcePath(const std::string& name,
                                                              const std::string& ext) const = 0;
};

}  // namespace platform
