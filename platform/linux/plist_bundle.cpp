#include "platform/linux/plist_bundle.h"

#include <pugixml.hpp>

#include "platform/linux/embedded_info.h"
#include "platform/linux/posix_file_system.h"

namespace platform::linux_impl {

std::map<std::string, std::string> parsePlistStrings(const std::string& xml) {
    std::map<std::string, std::string> strings;
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) return strings;
    const pugi::xml_node dict = doc.child("plist").child("dict");
    // A dictionary alternates <key> and its value element.
    for (pugi::xml_node key = dict.child("key"); key; key = key.next_sibling("key")) {
        const pugi::xml_node value = key.next_sibling();
        if (value && std::string_view(value.name()) == "string") {
            strings.emplace(key.text().get(), value.text().get());
        }
    }
    return strings;
}

PlistBundle::PlistBundle(std::filesystem::path bundlePath) : path_(std::move(bundlePath)) {
    PosixFileSystem files;
    auto contents = files.readFile(path_ / "Contents" / "Info.plist");
    if (auto* xml = std::get_if<std::string>(&contents)) strings_ = parsePlistStrings(*xml);
}

PlistBundle PlistBundle::ofRunningExecutable() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    // <bundle>.app/Contents/MacOS/<executable>
    return PlistBundle(ec ? std::filesystem::path(".")
                          : exe.parent_path().parent_path().parent_path());
}

std::optional<std::string> PlistBundle::infoString(const std::string& key) const {
    auto it = strings_.find(key);
    return it == strings_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::optional<std::filesystem::path> PlistBundle::resourcePath(const std::string& name,
                                                               const std::string& ext) const {
    auto file = path_ / "Contents" / "Resources" / (ext.empty() ? name : name + "." + ext);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

std::optional<std::map<std::string, std::string>> PlistBundle::infoDictionaryForURL(
    const std::filesystem::path& url) const {
    return embeddedInfoDictionary(url);
}

}  // namespace platform::linux_impl
