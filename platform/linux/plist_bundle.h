#pragma once

#include <filesystem>
#include <map>

#include "platform/bundle.h"

namespace platform::linux_impl {

// A ".app" folder whose Contents/Info.plist is an XML property list.
class PlistBundle : public Bundle {
public:
    explicit PlistBundle(std::filesystem::path bundlePath);
    // The bundle whose Contents/MacOS holds the running executable.
    static PlistBundle ofRunningExecutable();

    std::filesystem::path bundlePath() const override { return path_; }
    std::optional<std::string> infoString(const std::string& key) const override;
    std::optional<std::filesystem::path> resourcePath(const std::string& name,
                                                      const std::string& ext) const override;
    // Read from the ".info_plist" section of an ELF executable.
    std::optional<std::map<std::string, std::string>> infoDictionaryForURL(
        const std::filesystem::path& url) const override;

private:
    std::filesystem::path path_;
    std::map<std::string, std::string> strings_;
};

// The string entries of a property list's top-level dictionary; empty when it is not one.
std::map<std::string, std::string> parsePlistStrings(const std::string& xml);

}  // namespace platform::linux_impl
