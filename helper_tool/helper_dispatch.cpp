#include "helper_tool/helper_dispatch.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string_view>

#include "helper_interface/helper_protocol.h"
#include "platform/linux/xpc_wire.h"

namespace wire = platform::linux_impl::wire;
using nlohmann::json;

// Where the client's messages leave; closed with the dispatcher, so that an answer given late
// (or on another thread) never writes to a link that is gone, and frames never interleave.
struct HelperDispatcher::Outlet {
    std::mutex mutex;
    Send send;
    Refused refused;
    std::string from;

    bool post(const json& message) {
        std::lock_guard lock(mutex);
        return send && send(message);
    }
    void close() {
        std::lock_guard lock(mutex);
        send = nullptr;
    }
    void reply(std::uint64_t id, json values) {
        if (post({{"id", id}, {"reply", std::move(values)}})) return;
        // Too large for a frame (or the peer is gone): the request still gets its one answer.
        const std::string error = "the reply was larger than a message may be";
        if (post({{"id", id}, {"error", error}}))
            refused(HelperRefusal::Failure, "Sent an error instead: " + error);
    }
};

namespace {

using Outlet = HelperDispatcher::Outlet;

// Shared by the copies of one answer: the first call answers; released unanswered, the caller
// hears so instead of waiting for ever.
class Answer {
public:
    Answer(std::shared_ptr<Outlet> outlet, std::uint64_t id)
        : outlet_(std::move(outlet)), id_(id) {}
    ~Answer() {
        if (!answered_) outlet_->post({{"id", id_}, {"error", "the request was not answered"}});
    }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;
    void operator()(json values) {
        if (!answered_.exchange(true)) outlet_->reply(id_, std::move(values));
    }

private:
    std::shared_ptr<Outlet> outlet_;
    std::uint64_t id_;
    std::atomic<bool> answered_{false};
};

using Reply = std::shared_ptr<Answer>;

class ClientSink : public AppProtocolHandler {
public:
    explicit ClientSink(std::shared_ptr<Outlet> outlet) : outlet_(std::move(outlet)) {}
    void logWithStdOut(const std::string& text) override {
        outlet_->post({{"selector", helper_selectors::logWithStdOut}, {"arguments", {text}}});
    }
    void logWithStdErr(const std::string& text) override {
        outlet_->post({{"selector", helper_selectors::logWithStdErr}, {"arguments", {text}}});
    }

private:
    std::shared_ptr<Outlet> outlet_;
};

// The selectors served, each with how its checked arguments reach the handler and its answer
// goes back; a selector of the protocol that is not here is refused.
using Serve = void (*)(HelperProtocolHandler&, const json& arguments, const Reply& reply);
const std::map<std::string_view, Serve> kServed = {
    {helper_selectors::getVersion,
     [](HelperProtocolHandler& handler, const json&, const Reply& reply) {
         handler.getVersionWithCompletion(
             [reply](const std::string& version) { (*reply)({version}); });
     }},
    {helper_selectors::runLaunchctl,
     [](HelperProtocolHandler& handler, const json& arguments, const Reply& reply) {
         handler.runQorLaunchctlWithSubcommand(arguments.at(0).get<std::string>(),
                                               [reply](std::int64_t code) { (*reply)({code}); });
     }},
    {helper_selectors::createLogDirectory,
     [](HelperProtocolHandler& handler, const json&, const Reply& reply) {
         handler.createLogDirectoryWithCompletion(
             [reply](const std::string& message, const std::optional<platform::XpcError>& error) {
                 (*reply)({message, error ? error->toValue() : json(nullptr)});
             });
     }},
};

}  // namespace

HelperDispatcher::HelperDispatcher(uid_t uid, Send send, Refused refused,
                                   const MakeHandler& makeHandler)
    : outlet_(std::make_shared<Outlet>()) {
    outlet_->send = std::move(send);
    outlet_->refused = std::move(refused);
    outlet_->from = " from user " + std::to_string(uid);
    handler_ = makeHandler(std::make_shared<ClientSink>(outlet_));
}

HelperDispatcher::~HelperDispatcher() { outlet_->close(); }

void HelperDispatcher::received(const json& message) {
    auto checked = wire::checkCall(HelperProtocol, message);
    if (auto* problem = std::get_if<std::string>(&checked)) {
        outlet_->refused(HelperRefusal::Call, "Refused a call" + outlet_->from + ": " + *problem);
        if (message.contains("id") && message["id"].is_number_integer() &&
            !outlet_->post({{"id", message["id"]}, {"error", *problem}})) {
            outlet_->post({{"id", message["id"]}, {"error", "the call was refused"}});
        }
        return;
    }
    const auto& call = std::get<wire::CheckedCall>(checked);
    // Every method of the protocol has a reply block, so every checked call has an id.
    const std::uint64_t id = *call.id;
    const auto served = kServed.find(call.selector);
    if (served == kServed.end() || !handler_) {
        outlet_->refused(HelperRefusal::Call, "Refused a call" + outlet_->from + ": " +
                                                  call.selector + " is not served");
        outlet_->post({{"id", id}, {"error", call.selector + " is not served"}});
        return;
    }
    served->second(*handler_, message["arguments"], std::make_shared<Answer>(outlet_, id));
}
