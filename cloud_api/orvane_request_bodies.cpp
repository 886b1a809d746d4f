#include "cloud_api/orvane_request_bodies.h"

#include <cmath>

namespace orvane_bodies {
namespace {

bool hasNonFiniteNumber(const nlohmann::json& value) {
    if (value.is_number_float()) return !std::isfinite(value.get<double>());
    if (value.is_structured()) {
        for (const auto& item : value) {
            if (hasNonFiniteNumber(item)) return true;
        }
    }
    return false;
}

}  // namespace

nlohmann::json storageCreationBody(const std::string& name, const std::string& mountPoint) {
    nlohmann::json settings = {
        {"growing_files_threshold", 10},
        {"scan_interval_seconds", 5},
        {"mount_point", mountPoint},
        {"allow_access_outside_scan_directories", false},
        {"local_keyframe_creation", true},
        {"local_proxy_creation", true},
        {"upload_files", false},
        {"remote_path", ""},
        {"read", true},
        {"write", true},
        {"delete", false},
        {"scan", true},
        {"enable_collection_directory_mapping", true},
        {"filename_is_external_id", false},
        {"sidecar_metadata_required", false},
        {"aggregate_identical_files", true},
        {"enable_directory_assets", false},
        {"title_includes_extension", true},
    };
    return {{"name", name}, {"purpose", "FILES"}, {"method", "FILE"}, {"settings", settings}};
}

nlohmann::json storageUpdateBody(const std::string& name, const std::string& mountPoint) {
    return {{"name", name}, {"settings", {{"mount_point", mountPoint}}}};
}

nlohmann::json applicationCreationBody(const std::string& name, const std::string& defaultUserId) {
    return {{"name", name}, {"default_user_id", defaultUserId}};
}

Serialized serialize(const nlohmann::json& body) {
    if (hasNonFiniteNumber(body)) {
        return {std::nullopt,
                "The data could not be written because it holds a number that is not finite."};
    }
    try {
        return {body.dump(), {}};
    } catch (const nlohmann::json::type_error&) {
        return {std::nullopt,
                "The data could not be written because it holds text that is not valid UTF-8."};
    }
}

std::string describe(const nlohmann::json& body) {
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace orvane_bodies
