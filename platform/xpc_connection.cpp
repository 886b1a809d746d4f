#include "platform/xpc_connection.h"

namespace platform {
namespace {

constexpr char kCommunicationFailed[] = "Couldn't communicate with a helper application.";
constexpr char kCorruptData[] = "The data couldn't be read because it isn't in the correct format.";

XpcError make(long code, std::string text, std::string debug) {
    return XpcError{std::string(kXpcErrorDomain), code, std::move(text), std::move(debug)};
}

}  // namespace

std::string XpcError::description() const {
    std::string text = "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
                       localizedDescription + "\"";
    if (!debugDescription.empty())
        text += " UserInfo={NSDebugDescription=" + debugDescription + "}";
    return text;
}

XpcError XpcError::interrupted(std::string_view service) {
    return make(kXpcConnectionInterrupted, kCommunicationFailed,
                "The connection to service named " + std::string(service) + " was interrupted.");
}

XpcError XpcError::invalidated(std::string_view service, std::string_view reason) {
    return make(kXpcConnectionInvalid, kCommunicationFailed,
                "The connection to service named " + std::string(service) +
                    " was invalidated: " + std::string(reason) + ".");
}

XpcError XpcError::replyInvalid(std::string_view selector, std::string_view reason) {
    return make(
        kXpcConnectionReplyInvalid, kCommunicationFailed,
        "The reply to " + std::string(selector) + " was invalid: " + std::string(reason) + ".");
}

XpcError XpcError::argumentsInvalid(std::string_view selector) {
    return make(kXpcCoderReadCorrupt, kCorruptData,
                "The arguments of " + std::string(selector) + " do not match its signature.");
}

nlohmann::json XpcError::toValue() const {
    return {{"domain", domain}, {"code", code}, {"description", localizedDescription}};
}

std::optional<XpcError> XpcError::fromValue(const nlohmann::json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto domain = value.find("domain");
    const auto code = value.find("code");
    const auto text = value.find("description");
    if (domain == value.end() || !domain->is_string() || code == value.end() ||
        !code->is_number_integer() || text == value.end() || !text->is_string()) {
        return std::nullopt;
    }
    return XpcError{domain->get<std::string>(), code->get<long>(), text->get<std::string>(), {}};
}

}  // namespace platform
