#include "platform/linux/json_user_defaults.h"

#include <nlohmann/json.hpp>

#include "platform/linux/posix_file_system.h"
#include "platform/linux/xdg_dirs.h"
#include "platform/log.h"

namespace platform::linux_impl {

JsonUserDefaults::JsonUserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    PosixFileSystem files;
    auto contents = files.readFile(file_);
    auto* text = std::get_if<std::string>(&contents);
    if (!text) return;  // nothing stored yet
    auto json = nlohmann::json::parse(*text, nullptr, false);
    if (!json.is_object()) return;
    for (const auto& [key, value] : json.items()) {
        if (value.is_boolean()) persistent_[key] = value.get<bool>();
        if (value.is_string()) persistent_[key] = value.get<std::string>();
    }
}

std::filesystem::path JsonUserDefaults::fileForDomain(const std::string& domain) {
    return xdgConfigHome() / domain / "defaults.json";
}

void JsonUserDefaults::registerDefaults(const std::map<std::string, DefaultValue>& values) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : values) registered_[key] = value;
}

std::optional<DefaultValue> JsonUserDefaults::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = persistent_.find(key); it != persistent_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return std::nullopt;
}

void JsonUserDefaults::setValue(const std::string& key, const DefaultValue& value) {
    std::lock_guard lock(mutex_);
    persistent_[key] = value;
    save();
}

void JsonUserDefaults::save() {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& entry : persistent_) {
        std::visit([&](const auto& v) { json[entry.first] = v; }, entry.second);
    }
    PosixFileSystem files;
    auto error = files.createDirectories(file_.parent_path());
    if (!error) error = files.replaceFile(file_, json.dump(2) + "\n");
    if (error) log("Failed to save user defaults to " + file_.string() + ": " + error->description);
}

}  // namespace platform::linux_impl
