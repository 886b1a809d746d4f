#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

namespace platform {

using DefaultValue = std::variant<bool, std::string>;

// Two domains: registered defaults (not stored) and the persistent domain, which wins.
class UserDefaults {
public:
    UserDefaults() = default;
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;
    virtual ~UserDefaults() = default;
    virtual void registerDefaults(const std::map<std::string, DefaultValue>& values) = 0;
    virtual std::optional<DefaultValue> value(const std::string& key) const = 0;
    virtual void setValue(const std::string& key, const DefaultValue& value) = 0;

    // A missing or non-Bool value reads as false; a missing or non-String one as absent.
    bool boolForKey(const std::string& key) const {
        auto v = value(key);
        auto* b = v ? std::get_if<bool>(&*v) : nullptr;
        return b && *b;
    }
    std::optional<std::string> stringForKey(const std::string& key) const {
        auto v = value(key);
        auto* s = v ? std::get_if<std::string>(&*v) : nullptr;
        return s ? std::optional<std::string>(*s) : std::nullopt;
    }
};

}  // namespace platform
