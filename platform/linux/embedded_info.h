#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace platform::linux_impl {

// The name of the ELF section that carries an executable's information dictionary.
inline constexpr char kInfoPlistSection[] = ".info_plist";

// The string entries of the property list in the ".info_plist" section of a 64-bit
// little-endian ELF file, read without running it. Absent when the file is not such an ELF
// file, has no such section, or the section holds no property list.
std::optional<std::map<std::string, std::string>> embeddedInfoDictionary(
    const std::filesystem::path& executable);

}  // namespace platform::linux_impl
