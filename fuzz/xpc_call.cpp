// One message of the helper connection, from JSON text: the call checker of both ends and the
// frame writer and reader, which must hand back what was written. The same bytes are also read
// as a method's type encoding.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "fuzz/check.h"
#include "helper_interface/helper_protocol.h"
#include "platform/linux/xpc_wire.h"

namespace wire = platform::linux_impl::wire;
using nlohmann::json;

namespace {

void checkAgainst(const platform::ProtocolDescription& protocol, const json& message) {
    auto checked = wire::checkCall(protocol, message);
    auto* call = std::get_if<wire::CheckedCall>(&checked);
    if (!call) return;
    // What the checker lets through is what the receivers rely on without looking again.
    const auto* reply = call->signature.replyArguments();
    check(call->id.has_value() == (reply != nullptr));
    check(protocol.method(call->selector) != nullptr);
    auto expected = call->signature.arguments;
    if (reply) expected.pop_back();
    check(wire::valuesMatch(expected, message["arguments"]));
    if (reply && message.contains("reply")) wire::valuesMatch(*reply, message["reply"]);
}

void roundTrip(const json& message) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
    const std::string text = message.dump();
    // Fits the socket's buffer, so the write completes before anything reads.
    if (text.size() < 100000) {
        check(wire::writeFrame(fds[0], message));
        ::shutdown(fds[0], SHUT_WR);
        auto frame = wire::readFrame(fds[1]);
        check(std::holds_alternative<json>(frame) && std::get<json>(frame) == message);
        check(std::get<wire::ReadError>(wire::readFrame(fds[1])) == wire::ReadError::Closed);
    }
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::parseMethodEncoding(text);
    const json message = json::parse(text, nullptr, false);
    if (message.is_discarded() || !message.is_object()) return 0;
    checkAgainst(HelperProtocol, message);
    checkAgainst(AppProtocol, message);
    roundTrip(message);
    return 0;
}
