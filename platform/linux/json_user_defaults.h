#pragma once

#include <filesystem>
#include <map>
#include <mutex>

#include "platform/user_defaults.h"

namespace platform::linux_impl {

// The persistent domain is a JSON object in one file, rewritten atomically on every change.
class JsonUserDefaults : public UserDefaults {
public:
    explicit JsonUserDefaults(std::filesystem::path file);
    // "$XDG_CONFIG_HOME/<domain>/defaults.json", else under "$HOME/.config".
    static std::filesystem::path fileForDomain(const std::string& domain);

    void registerDefaults(const std::map<std::string, DefaultValue>& values) override;
    std::optional<DefaultValue> value(const std::string& key) const override;
    void setValue(const std::string& key, const DefaultValue& value) override;

private:
    void save();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, DefaultValue> registered_;
    std::map<std::string, DefaultValue> persistent_;
};

}  // namespace platform::linux_impl
