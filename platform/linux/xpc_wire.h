#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <variant>

#include "platform/xpc_interface.h"

// The connection's frames on a Unix stream socket: a 4-byte big-endian length, then that many
// bytes of JSON. A call is {"id": n, "selector": s, "arguments": [...]} with the arguments that
// precede the reply block; its reply is {"id": n, "reply": [...]} with the block's arguments.
namespace platform::linux_impl::wire {

// Far above any real message; a peer announcing more is cut off before anything is read.
inline constexpr std::size_t kMaxFrameBytes = 1 << 20;

enum class ReadError { Closed, TooLarge, Malformed, Io };
std::string describe(ReadError error);

std::variant<nlohmann::json, ReadError> readFrame(int fd);
// False when the message is larger than a frame may be, or the peer is gone.
bool writeFrame(int fd, const nlohmann::json& message);

// The same over functions that move at most `size` bytes as ::read and ::send do (-1 and errno on
// failure), so that a caller can bound how long each of them waits.
using ReadSome = std::function<ssize_t(char* data, std::size_t size)>;
using SendSome = std::function<ssize_t(const char* data, std::size_t size)>;
std::variant<nlohmann::json, ReadError> readFrame(const ReadSome& read);
bool writeFrame(const SendSome& send, const nlohmann::json& message);

// Whether `values` (a JSON array) fit `types` one by one. Strings, numbers and data (base64
// text) are never null; an error is null or {"domain": s, "code": n, "description": s}.
bool valuesMatch(const std::vector<TypeEncoding>& types, const nlohmann::json& values);

struct CheckedCall {
    // Set exactly when the method has a reply block: one-way calls carry no id.
    std::optional<std::uint64_t> id;
    std::string selector;
    MethodSignature signature;
};
// A call checked against the protocol the receiver serves; the error text says what was wrong.
// `id` is the call's id when it has a valid one, so that a refusal can still be answered.
std::variant<CheckedCall, std::string> checkCall(const ProtocolDescription& protocol,
                                                 const nlohmann::json& message);

}  // namespace platform::linux_impl::wire
