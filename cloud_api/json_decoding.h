#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orvane_json {

// Why a decoding failed: a sentence for the log and a full account that names the key path.
struct DecodingError {
    std::string localizedDescription;
    std::string fullDescription;
};

// Strict readers for record fields. A required field must be present, non-null and of the right
// JSON type; an optional one may be absent or null. Each records the first failure in `error`
// and returns nothing, so callers can stop at the first missing piece.
class FieldReader {
public:
    FieldReader(const nlohmann::json& object, std::string path, DecodingError& error);

    // False (with the error set) when the value itself is not a JSON object.
    bool isObject();

    std::optional<std::string> requiredString(std::string_view key);
    std::optional<bool> optionalBool(std::string_view key, bool& failed);
    // The member's value for a nested record, or nothing when it is absent or null.
    const nlohmann::json* member(std::string_view key) const;
    const nlohmann::json* requiredMember(std::string_view key, nlohmann::json::value_t type);
    std::string pathOf(std::string_view key) const;

    void missing(std::string_view key, bool isNull);
    void wrongType(std::string_view key, std::string_view expected);

private:
    const nlohmann::json& object_;
    std::string path_;
    DecodingError& error_;
};

// Parses response bytes as one JSON document; nothing (with the error set) when they are not JSON.
std::optional<nlohmann::json> parseDocument(std::string_view data, DecodingError& error);

// The text of a JSON string value, quoted and escaped so that it stays on one line.
std::string quoted(const std::string& text);

}  // namespace orvane_json
