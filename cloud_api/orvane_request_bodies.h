#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// The JSON objects that requests send. They are untyped on purpose: the service decides what it
// accepts, and these fix exactly what the client sends.
namespace orvane_bodies {

// A new FILE storage with the settings every gateway storage starts with.
nlohmann::json storageCreationBody(const std::string& name, const std::string& mountPoint);
// Renames a storage and points it at a folder; no other setting is touched.
nlohmann::json storageUpdateBody(const std::string& name, const std::string& mountPoint);
nlohmann::json applicationCreationBody(const std::string& name, const std::string& defaultUserId);

struct Serialized {
    std::optional<std::string> bytes;
    // Set when bytes are absent.
    std::string errorDescription;
};

// Compact JSON text. Fails for text that is not UTF-8 and for numbers that are not finite,
// which JSON cannot carry.
Serialized serialize(const nlohmann::json& body);
// How a body reads in a message; never fails.
std::string describe(const nlohmann::json& body);

}  // namespace orvane_bodies
