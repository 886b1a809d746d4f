#pragma once

#include <filesystem>
#include <mutex>

#include "platform/authorization.h"

namespace platform::linux_impl {

// Named rights in one JSON file ({name: {"definition": rule, "prompt": text}}), replaced
// atomically on every change. A dictionary rule is stored as given; a named rule is stored as
// {"rule": [name]}, which is how it reads back.
class FileRightsStore : public Authorization {
public:
    // Without a prompt no right can be extended.
    explicit FileRightsStore(std::filesystem::path file,
                             std::shared_ptr<AdministratorPrompt> prompt = nullptr)
        : file_(std::move(file)), prompt_(std::move(prompt)) {}

    AuthorizationStatus create(std::shared_ptr<AuthorizationReference>& reference) override;
    AuthorizationStatus createWithRights(
        const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
        std::shared_ptr<AuthorizationReference>& reference) override;
    AuthorizationStatus rightGet(const std::string& name,
                                 std::optional<nlohmann::json>& definition) override;
    AuthorizationStatus rightSet(const AuthorizationReference& reference, const std::string& name,
                                 const nlohmann::json& rule,
                                 const std::string& description) override;

private:
    // The whole store; nullopt when the file exists but is not a JSON object.
    std::optional<nlohmann::json> load() const;

    std::filesystem::path file_;
    std::shared_ptr<AdministratorPrompt> prompt_;
    std::mutex mutex_;
};

}  // namespace platform::linux_impl
