#include "cloud_api/orvane_records.h"

#include <array>
#include <utility>

using orvane_json::FieldReader;
using Type = nlohmann::json::value_t;

namespace {

constexpr std::array<std::pair<OrvaneUserType, std::string_view>, 3> kUserTypes{{
    {OrvaneUserType::POWER, "POWER"},
    {OrvaneUserType::STANDARD, "STANDARD"},
    {OrvaneUserType::BROWSE_ONLY, "BROWSE_ONLY"},
}};

template <class Record>
std::optional<std::vector<Record>> requiredList(FieldReader& reader, std::string_view key,
                                                DecodingError& error) {
    const auto* list = reader.requiredMember(key, Type::array);
    if (!list) return std::nullopt;
    std::vector<Record> records;
    records.reserve(list->size());
    for (std::size_t i = 0; i < list->size(); ++i) {
        auto record =
            Record::decode((*list)[i], error, reader.pathOf(key) + "[" + std::to_string(i) + "]");
        if (!record) return std::nullopt;
        records.push_back(std::move(*record));
    }
    return records;
}

}  // namespace

std::string_view rawValue(OrvaneUserType type) {
    for (const auto& [value, raw] : kUserTypes) {
        if (value == type) return raw;
    }
    return {};
}

std::optional<OrvaneUserType> orvaneUserTypeFromRawValue(std::string_view raw) {
    for (const auto& [value, text] : kUserTypes) {
        if (text == raw) return value;
    }
    return std::nullopt;
}

std::optional<OrvaneCredentials> OrvaneCredentials::decode(const nlohmann::json& json,
                                                           DecodingError& error,
                                                           const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto appId = reader.requiredString("app_id");
    if (!appId) return std::nullopt;
    auto token = reader.requiredString("token");
    if (!token) return std::nullopt;
    return OrvaneCredentials{std::move(*appId), std::move(*token)};
}

std::optional<OrvaneUser> OrvaneUser::decode(const nlohmann::json& json, DecodingError& error,
                                             const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto id = reader.requiredString("id");
    if (!id) return std::nullopt;
    auto email = reader.requiredString("email");
    if (!email) return std::nullopt;
    auto rawType = reader.requiredString("type");
    if (!rawType) return std::nullopt;
    auto type = orvaneUserTypeFromRawValue(*rawType);
    if (!type) {
        error = {"The data could not be read because it is not in the correct format.",
                 "dataCorrupted at " + reader.pathOf("type") +
                     ": cannot initialize OrvaneUserType from invalid value " +
                     orvane_json::quoted(*rawType)};
        return std::nullopt;
    }
    return OrvaneUser{std::move(*id), std::move(*email), *type};
}

std::optional<OrvaneApplication> OrvaneApplication::decode(const nlohmann::json& json,
                                                           DecodingError& error,
                                                           const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto id = reader.requiredString("id");
    if (!id) return std::nullopt;
    auto defaultUserId = reader.requiredString("default_user_id");
    if (!defaultUserId) return std::nullopt;
    return OrvaneApplication{std::move(*id), std::move(*defaultUserId)};
}

std::optional<OrvaneStorageSettings> OrvaneStorageSettings::decode(const nlohmann::json& json,
                                                                   DecodingError& error,
                                                                   const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto mountPoint = reader.requiredString("mount_point");
    if (!mountPoint) return std::nullopt;
    return OrvaneStorageSettings{std::move(*mountPoint)};
}

std::optional<OrvaneStorage> OrvaneStorage::decode(const nlohmann::json& json, DecodingError& error,
                                                   const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto id = reader.requiredString("id");
    if (!id) return std::nullopt;
    auto name = reader.requiredString("name");
    if (!name) return std::nullopt;
    const auto* settingsJson = reader.requiredMember("settings", Type::object);
    if (!settingsJson) return std::nullopt;
    auto settings = OrvaneStorageSettings::decode(*settingsJson, error, reader.pathOf("settings"));
    if (!settings) return std::nullopt;
    return OrvaneStorage{std::move(*id), std::move(*name), std::move(*settings)};
}

std::optional<OrvaneStorageResponse> OrvaneStorageResponse::decode(const nlohmann::json& json,
                                                                   DecodingError& error,
                                                                   const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto objects = requiredList<OrvaneStorage>(reader, "objects", error);
    if (!objects) return std::nullopt;
    return OrvaneStorageResponse{std::move(*objects)};
}

std::optional<OrvaneTranscoderSettings> OrvaneTranscoderSettings::decode(const nlohmann::json& json,
                                                                         DecodingError& error,
                                                                         const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    bool failed = false;
    auto local = reader.optionalBool("local", failed);
    if (failed) return std::nullopt;
    return OrvaneTranscoderSettings{local};
}

std::optional<OrvaneTranscoder> OrvaneTranscoder::decode(const nlohmann::json& json,
                                                         DecodingError& error,
                                                         const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto id = reader.requiredString("id");
    if (!id) return std::nullopt;
    auto name = reader.requiredString("name");
    if (!name) return std::nullopt;
    auto type = reader.requiredString("type");
    if (!type) return std::nullopt;
    std::optional<OrvaneTranscoderSettings> settings;
    if (const auto* settingsJson = reader.member("settings")) {
        settings =
            OrvaneTranscoderSettings::decode(*settingsJson, error, reader.pathOf("settings"));
        if (!settings) return std::nullopt;
    }
    return OrvaneTranscoder{std::move(*id), std::move(*name), std::move(*type), settings};
}

std::optional<OrvaneTranscoderResponse> OrvaneTranscoderResponse::decode(const nlohmann::json& json,
                                                                         DecodingError& error,
                                                                         const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    auto objects = requiredList<OrvaneTranscoder>(reader, "objects", error);
    if (!objects) return std::nullopt;
    return OrvaneTranscoderResponse{std::move(*objects)};
}

std::optional<OrvaneErrorResponse> OrvaneErrorResponse::decode(const nlohmann::json& json,
                                                               DecodingError& error,
                                                               const std::string& path) {
    FieldReader reader(json, path, error);
    if (!reader.isObject()) return std::nullopt;
    const auto* list = reader.member("errors");
    if (!list) return OrvaneErrorResponse{};
    if (!list->is_array()) {
        reader.wrongType("errors", "an array");
        return std::nullopt;
    }
    std::vector<std::string> errors;
    for (std::size_t i = 0; i < list->size(); ++i) {
        const auto& item = (*list)[i];
        if (!item.is_string()) {
            const std::string key = "errors[" + std::to_string(i) + "]";
            if (item.is_null()) {
                reader.missing(key, true);
            } else {
                error = {"The data could not be read because it is not in the correct format.",
                         "typeMismatch at " + reader.pathOf(key) + ": expected a string"};
            }
            return std::nullopt;
        }
        errors.push_back(item.get<std::string>());
    }
    return OrvaneErrorResponse{std::move(errors)};
}

std::string describe(const OrvaneErrorResponse& response) {
    if (!response.errors) return "OrvaneErrorResponse(errors: nil)";
    std::string text = "OrvaneErrorResponse(errors: [";
    for (std::size_t i = 0; i < response.errors->size(); ++i) {
        if (i) text += ", ";
        text += orvane_json::quoted((*response.errors)[i]);
    }
    return text + "])";
}

std::string describe(const OrvaneUser& user) {
    return "OrvaneUser(id: " + orvane_json::quoted(user.id) +
           ", email: " + orvane_json::quoted(user.email) +
           ", type: " + std::string(rawValue(user.type)) + ")";
}

std::string describe(const OrvaneApplication& application) {
    return "OrvaneApplication(id: " + orvane_json::quoted(application.id) +
           ", default_user_id: " + orvane_json::quoted(application.default_user_id) + ")";
}

std::string describe(const OrvaneStorage& storage) {
    return "OrvaneStorage(id: " + orvane_json::quoted(storage.id) +
           ", name: " + orvane_json::quoted(storage.name) +
           ", mount_point: " + orvane_json::quoted(storage.settings.mount_point) + ")";
}

std::string describe(const std::vector<OrvaneStorage>& storages) {
    std::string text = "[";
    for (std::size_t i = 0; i < storages.size(); ++i) {
        if (i) text += ", ";
        text += describe(storages[i]);
    }
    return text + "]";
}
