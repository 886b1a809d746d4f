#pragma once

#include <filesystem>
#include <map>
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
    // The string entries of the information dictionary embedded in the executable at `url`,
    // read without running it; absent when the file has none or cannot be read.
    virtual std::optional<std::map<std::string, std::string>> infoDictionaryForURL(
        const std::filesystem::path& url) const = 0;

protected:
    // Implementations are plain values, so they may copy; through the interface it would slice.
    Bundle() = default;
    Bundle(const Bundle&) = default;
    Bundle(Bundle&&) = default;
    Bundle& operator=(const Bundle&) = default;
    Bundle& operator=(Bundle&&) = default;
};

}  // namespace platform
