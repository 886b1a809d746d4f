#include "helper_interface/helper_connection.h"

#include "helper_interface/helper_protocol.h"

using nlohmann::json;
using platform::XpcValues;

void HelperProtocolProxy::getVersionWithCompletion(
    std::function<void(const std::string&)> completion) {
    proxy_->send(helper_selectors::getVersion, json::array(),
                 [completion = std::move(completion)](XpcValues values) {
                     completion(values.at(0).get<std::string>());
                 });
}

void HelperProtocolProxy::runQorLaunchctlWithSubcommand(
    const std::string& subcommand, std::function<void(std::int64_t)> completion) {
    proxy_->send(helper_selectors::runLaunchctl, json::array({subcommand}),
                 [completion = std::move(completion)](XpcValues values) {
                     // A number object may carry a fraction; an exit status never does.
                     const auto& code = values.at(0);
                     completion(code.is_number_integer()
                                    ? code.get<std::int64_t>()
                                    : static_cast<std::int64_t>(code.get<double>()));
                 });
}

void HelperProtocolProxy::createLogDirectoryWithCompletion(
    std::function<void(const std::string&, std::optional<platform::XpcError>)> completion) {
    proxy_->send(helper_selectors::createLogDirectory, json::array(),
                 [completion = std::move(completion)](XpcValues values) {
                     completion(values.at(0).get<std::string>(),
                                platform::XpcError::fromValue(values.at(1)));
                 });
}

void AppProtocolProxy::logWithStdOut(const std::string& text) {
    proxy_->send(helper_selectors::logWithStdOut, json::array({text}));
}

void AppProtocolProxy::logWithStdErr(const std::string& text) {
    proxy_->send(helper_selectors::logWithStdErr, json::array({text}));
}

namespace {

// The values have been checked against the selector's signature before invoke() is called.
class HelperProtocolExport : public platform::XpcExportedObject {
public:
    explicit HelperProtocolExport(std::shared_ptr<HelperProtocolHandler> handler)
        : handler_(std::move(handler)) {}
    void invoke(const std::string& selector, const XpcValues& arguments,
                platform::XpcReplyBlock reply) override {
        if (selector == helper_selectors::getVersion) {
            handler_->getVersionWithCompletion(
                [reply](const std::string& version) { reply(json::array({version})); });
        } else if (selector == helper_selectors::runLaunchctl) {
            handler_->runQorLaunchctlWithSubcommand(
                arguments.at(0).get<std::string>(),
                [reply](std::int64_t code) { reply(json::array({code})); });
        } else if (selector == helper_selectors::createLogDirectory) {
            handler_->createLogDirectoryWithCompletion(
                [reply](const std::string& message,
                        const std::optional<platform::XpcError>& error) {
                    reply(json::array({message, error ? error->toValue() : json(nullptr)}));
                });
        } else if (reply) {
            // Not served: a value that fits no reply block makes the connection answer the
            // caller with an error.
            reply(nullptr);
        }
    }

private:
    std::shared_ptr<HelperProtocolHandler> handler_;
};

class AppProtocolExport : public platform::XpcExportedObject {
public:
    explicit AppProtocolExport(std::shared_ptr<AppProtocolHandler> handler)
        : handler_(std::move(handler)) {}
    void invoke(const std::string& selector, const XpcValues& arguments,
                platform::XpcReplyBlock) override {
        const auto text = arguments.at(0).get<std::string>();
        if (selector == helper_selectors::logWithStdOut) handler_->logWithStdOut(text);
        if (selector == helper_selectors::logWithStdErr) handler_->logWithStdErr(text);
    }

private:
    std::shared_ptr<AppProtocolHandler> handler_;
};

}  // namespace

std::shared_ptr<platform::XpcExportedObject> exportHelperProtocol(
    std::shared_ptr<HelperProtocolHandler> handler) {
    return std::make_shared<HelperProtocolExport>(std::move(handler));
}

std::shared_ptr<platform::XpcExportedObject> exportAppProtocol(
    std::shared_ptr<AppProtocolHandler> handler) {
    return std::make_shared<AppProtocolExport>(std::move(handler));
}
