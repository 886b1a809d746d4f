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

namespace {

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

std::shared_ptr<platform::XpcExportedObject> exportAppProtocol(
    std::shared_ptr<AppProtocolHandler> handler) {
    return std::make_shared<AppProtocolExport>(std::move(handler));
}
