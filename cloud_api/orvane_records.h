#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "cloud_api/json_decoding.h"

// The records that the Orvane service answers with. Field names are the JSON keys. Decoding is
// strict and all-or-nothing: any required field that is missing, null or of another JSON type
// fails the whole document. Unknown keys are ignored. Nothing here is ever encoded.

using orvane_json::DecodingError;

struct OrvaneCredentials {
    static constexpr std::string_view typeName = "OrvaneCredentials";
    std::string app_id;
    std::string token;

    static std::optional<OrvaneCredentials> decode(const nlohmann::json& json, DecodingError& error,
                                                   const std::string& path = {});
    bool operator==(const OrvaneCredentials&) const = default;
};

enum class OrvaneUserType { POWER, STANDARD, BROWSE_ONLY };

std::string_view rawValue(OrvaneUserType type);
// Exact, case-sensitive match of a raw value.
std::optional<OrvaneUserType> orvaneUserTypeFromRawValue(std::string_view raw);

template <>
struct std::hash<OrvaneUserType> {
    std::size_t operator()(OrvaneUserType type) const noexcept {
        return std::hash<std::string_view>{}(rawValue(type));
    }
};

struct OrvaneUser {
    static constexpr std::string_view typeName = "OrvaneUser";
    std::string id;
    std::string email;
    OrvaneUserType type;

    static std::optional<OrvaneUser> decode(const nlohmann::json& json, DecodingError& error,
                                            const std::string& path = {});
    bool operator==(const OrvaneUser&) const = default;
};

struct OrvaneApplication {
    static constexpr std::string_view typeName = "OrvaneApplication";
    std::string id;
    std::string default_user_id;

    static std::optional<OrvaneApplication> decode(const nlohmann::json& json, DecodingError& error,
                                                   const std::string& path = {});
    bool operator==(const OrvaneApplication&) const = default;
};

struct OrvaneStorageSettings {
    static constexpr std::string_view typeName = "OrvaneStorageSettings";
    std::string mount_point;

    static std::optional<OrvaneStorageSettings> decode(const nlohmann::json& json,
                                                       DecodingError& error,
                                                       const std::string& path = {});
    bool operator==(const OrvaneStorageSettings&) const = default;
};

struct OrvaneStorage {
    static constexpr std::string_view typeName = "OrvaneStorage";
    std::string id;
    std::string name;
    OrvaneStorageSettings settings;

    static std::optional<OrvaneStorage> decode(const nlohmann::json& json, DecodingError& error,
                                               const std::string& path = {});
    bool operator==(const OrvaneStorage&) const = default;
};

struct OrvaneStorageResponse {
    static constexpr std::string_view typeName = "OrvaneStorageResponse";
    std::vector<OrvaneStorage> objects;

    static std::optional<OrvaneStorageResponse> decode(const nlohmann::json& json,
                                                       DecodingError& error,
                                                       const std::string& path = {});
    bool operator==(const OrvaneStorageResponse&) const = default;
};

struct OrvaneTranscoderSettings {
    static constexpr std::string_view typeName = "OrvaneTranscoderSettings";
    std::optional<bool> local;

    static std::optional<OrvaneTranscoderSettings> decode(const nlohmann::json& json,
                                                          DecodingError& error,
                                                          const std::string& path = {});
    bool operator==(const OrvaneTranscoderSettings&) const = default;
};

struct OrvaneTranscoder {
    static constexpr std::string_view typeName = "OrvaneTranscoder";
    std::string id;
    std::string name;
    std::string type;
    std::optional<OrvaneTranscoderSettings> settings;

    // Only an explicit "local": true makes a transcoder local.
    bool isLocal() const { return settings && settings->local.value_or(false); }

    static std::optional<OrvaneTranscoder> decode(const nlohmann::json& json, DecodingError& error,
                                                  const std::string& path = {});
    bool operator==(const OrvaneTranscoder&) const = default;
};

struct OrvaneTranscoderResponse {
    static constexpr std::string_view typeName = "OrvaneTranscoderResponse";
    std::vector<OrvaneTranscoder> objects;

    static std::optional<OrvaneTranscoderResponse> decode(const nlohmann::json& json,
                                                          DecodingError& error,
                                                          const std::string& path = {});
    bool operator==(const OrvaneTranscoderResponse&) const = default;
};

struct OrvaneErrorResponse {
    static constexpr std::string_view typeName = "OrvaneErrorResponse";
    std::optional<std::vector<std::string>> errors;

    static std::optional<OrvaneErrorResponse> decode(const nlohmann::json& json,
                                                     DecodingError& error,
                                                     const std::string& path = {});
    bool operator==(const OrvaneErrorResponse&) const = default;
};

// One line for the log, with every string quoted and escaped.
std::string describe(const OrvaneErrorResponse& response);
std::string describe(const OrvaneUser& user);
std::string describe(const OrvaneApplication& application);
std::string describe(const OrvaneStorage& storage);
std::string describe(const std::vector<OrvaneStorage>& storages);
// "nil" when there is none.
template <class Record>
std::string describe(const std::optional<Record>& record) {
    return record ? describe(*record) : "nil";
}

// Decodes a whole response body as one record.
template <class Record>
std::optional<Record> decodeRecord(std::string_view data, DecodingError& error) {
    auto document = orvane_json::parseDocument(data, error);
    if (!document) return std::nullopt;
    return Record::decode(*document, error);
}
