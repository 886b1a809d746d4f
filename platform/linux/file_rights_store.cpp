#include "platform/linux/file_rights_store.h"

#include <system_error>
#include <variant>

#include "platform/linux/posix_file_system.h"

namespace platform::linux_impl {
namespace {

class StoreReference : public AuthorizationReference {
public:
    using AuthorizationReference::AuthorizationReference;
};

}  // namespace

AuthorizationStatus FileRightsStore::create(std::shared_ptr<AuthorizationReference>& reference) {
    reference = std::make_shared<StoreReference>();
    return errAuthorizationSuccess;
}

AuthorizationStatus FileRightsStore::createWithRights(
    const std::vector<AuthorizationItem>& rights, AuthorizationFlags flags,
    std::shared_ptr<AuthorizationReference>& reference) {
    reference.reset();
    if (rights.empty()) return create(reference);
    std::vector<std::string> names;
    for (const auto& right : rights) {
        if (right.name.empty()) return errAuthorizationInvalidSet;
        names.push_back(right.name);
    }
    // Every right this store grants is the administrator's to give.
    if (!(flags & kAuthorizationFlagExtendRights)) return errAuthorizationDenied;
    if (!(flags & kAuthorizationFlagInteractionAllowed) || !prompt_) {
        return errAuthorizationInteractionNotAllowed;
    }
    const auto answer = prompt_->askForRights(names);
    if (answer != errAuthorizationSuccess) return answer;
    reference = std::make_shared<StoreReference>(std::move(names));
    return errAuthorizationSuccess;
}

std::optional<nlohmann::json> FileRightsStore::load() const {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) return nlohmann::json::object();
    PosixFileSystem files;
    auto contents = files.readFile(file_);
    if (!std::holds_alternative<std::string>(contents)) return std::nullopt;
    auto store = nlohmann::json::parse(std::get<std::string>(contents), nullptr, false);
    if (!store.is_object()) return std::nullopt;
    return store;
}

AuthorizationStatus FileRightsStore::rightGet(const std::string& name,
                                              std::optional<nlohmann::json>& definition) {
    std::lock_guard lock(mutex_);
    definition.reset();
    auto store = load();
    if (!store) return errAuthorizationInternal;
    auto entry = store->find(name);
    if (entry == store->end() || !entry->is_object() || !entry->contains("definition")) {
        return errAuthorizationDenied;
    }
    definition = (*entry)["definition"];
    return errAuthorizationSuccess;
}

AuthorizationStatus FileRightsStore::rightSet(const AuthorizationReference& reference,
                                              const std::string& name, const nlohmann::json& rule,
                                              const std::string& description) {
    if (!dynamic_cast<const StoreReference*>(&reference)) return errAuthorizationInvalidRef;
    if (name.empty()) return errAuthorizationInvalidPointer;
    nlohmann::json definition;
    if (rule.is_object()) {
        definition = rule;
    } else if (rule.is_string()) {
        definition = {{"rule", nlohmann::json::array({rule})}};
    } else {
        return errAuthorizationInvalidSet;
    }
    std::lock_guard lock(mutex_);
    auto store = load();
    // A store that cannot be read is not overwritten: it holds other rights too.
    if (!store) return errAuthorizationInternal;
    (*store)[name] = {{"definition", definition}, {"prompt", description}};
    PosixFileSystem files;
    if (files.createDirectories(file_.parent_path())) return errAuthorizationInternal;
    if (files.replaceFile(file_, store->dump(2) + "\n")) return errAuthorizationInternal;
    return errAuthorizationSuccess;
}

}  // namespace platform::linux_impl
