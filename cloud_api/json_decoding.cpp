#include "cloud_api/json_decoding.h"

namespace orvane_json {
namespace {

constexpr std::string_view kMissing = "The data could not be read because it is missing.";
constexpr std::string_view kWrongFormat =
    "The data could not be read because it is not in the correct format.";

std::string_view typeName(nlohmann::json::value_t type) {
    using T = nlohmann::json::value_t;
    switch (type) {
        case T::object: return "an object";
        case T::array: return "an array";
        case T::string: return "a string";
        case T::boolean: return "a boolean";
        case T::null: return "null";
        case T::number_integer:
        case T::number_unsigned:
        case T::number_float: return "a number";
        default: return "an unknown value";
    }
}

}  // namespace

FieldReader::FieldReader(const nlohmann::json& object, std::string path, DecodingError& error)
    : object_(object), path_(std::move(path)), error_(error) {}

std::string FieldReader::pathOf(std::string_view key) const {
    return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
}

bool FieldReader::isObject() {
    if (object_.is_object()) return true;
    error_ = {std::string(kWrongFormat),
              "typeMismatch at " + (path_.empty() ? std::string("<root>") : path_) +
                  ": expected an object but found " + std::string(typeName(object_.type()))};
    return false;
}

void FieldReader::missing(std::string_view key, bool isNull) {
    error_ = {std::string(kMissing), std::string(isNull ? "valueNotFound" : "keyNotFound") +
                                         " at " + pathOf(key) + ": a required value is " +
                                         (isNull ? "null" : "absent")};
}

void FieldReader::wrongType(std::string_view key, std::string_view expected) {
    const auto* value = member(key);
    error_ = {std::string(kWrongFormat),
              "typeMismatch at " + pathOf(key) + ": expected " + std::string(expected) +
                  " but found " +
                  std::string(value ? typeName(value->type()) : std::string_view("nothing"))};
}

const nlohmann::json* FieldReader::member(std::string_view key) const {
    auto it = object_.find(key);
    if (it == object_.end() || it->is_null()) return nullptr;
    return &*it;
}

const nlohmann::json* FieldReader::requiredMember(std::string_view key,
                                                  nlohmann::json::value_t type) {
    auto it = object_.find(key);
    if (it == object_.end() || it->is_null()) {
        missing(key, it != object_.end());
        return nullptr;
    }
    if (it->type() != type) {
        wrongType(key, typeName(type));
        return nullptr;
    }
    return &*it;
}

std::optional<std::string> FieldReader::requiredString(std::string_view key) {
    const auto* value = requiredMember(key, nlohmann::json::value_t::string);
    if (!value) return std::nullopt;
    return value->get<std::string>();
}

std::optional<bool> FieldReader::optionalBool(std::string_view key, bool& failed) {
    const auto* value = member(key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) {
        wrongType(key, "a boolean");
        failed = true;
        return std::nullopt;
    }
    return value->get<bool>();
}

std::optional<nlohmann::json> parseDocument(std::string_view data, DecodingError& error) {
    auto document = nlohmann::json::parse(data, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) {
        error = {std::string(kWrongFormat), "dataCorrupted: the given data was not valid JSON"};
        return std::nullopt;
    }
    return document;
}

std::string quoted(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace orvane_json
