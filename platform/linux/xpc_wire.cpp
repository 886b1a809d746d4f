#include "platform/linux/xpc_wire.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace platform::linux_impl::wire {
namespace {

enum class Fill { Done, Closed, Io };

Fill readExactly(const ReadSome& read, char* data, std::size_t size, bool& anyRead) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            anyRead = true;
        } else if (n == 0) {
            return Fill::Closed;
        } else if (errno != EINTR) {
            return Fill::Io;
        }
    }
    return Fill::Done;
}

bool sendAll(const SendSome& send, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool isBase64(const std::string& text) {
    if (text.size() % 4 != 0) return false;
    std::size_t padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (c == '=') {
            if (i + 2 < text.size()) return false;
            ++padding;
        } else if (!plain || padding > 0) {
            return false;
        }
    }
    return true;
}

bool valueMatches(const TypeEncoding& type, const nlohmann::json& value) {
    if (type.kind != TypeEncoding::Kind::Object) return false;
    const std::string& cls = type.className;
    if (cls == "NSString") return value.is_string();
    if (cls == "NSNumber") return value.is_number();
    if (cls == "NSData") return value.is_string() && isBase64(value.get<std::string>());
    if (cls == "NSError") {
        if (value.is_null()) return true;
        return value.is_object() && value.size() == 3 && value.contains("domain") &&
               value["domain"].is_string() && value.contains("code") &&
               value["code"].is_number_integer() && value.contains("description") &&
               value["description"].is_string();
    }
    // A class the wire does not carry.
    return false;
}

}  // namespace

std::string describe(ReadError error) {
    switch (error) {
        case ReadError::Closed: return "the connection was closed";
        case ReadError::TooLarge: return "a message was larger than allowed";
        case ReadError::Malformed: return "a message was not well-formed";
        case ReadError::Io: return "reading from the connection failed";
    }
    return "unknown error";
}

std::variant<nlohmann::json, ReadError> readFrame(int fd) {
    return readFrame([fd](char* data, std::size_t size) { return ::read(fd, data, size); });
}

std::variant<nlohmann::json, ReadError> readFrame(const ReadSome& read) {
    unsigned char header[4];
    bool anyRead = false;
    switch (readExactly(read, reinterpret_cast<char*>(header), sizeof header, anyRead)) {
        case Fill::Done: break;
        case Fill::Closed: return anyRead ? ReadError::Malformed : ReadError::Closed;
        case Fill::Io: return ReadError::Io;
    }
    const std::uint32_t length = (std::uint32_t{header[0]} << 24) |
                                 (std::uint32_t{header[1]} << 16) |
                                 (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
    if (length > kMaxFrameBytes) return ReadError::TooLarge;
    std::string body(length, '\0');
    switch (readExactly(read, body.data(), body.size(), anyRead)) {
        case Fill::Done: break;
        case Fill::Closed: return ReadError::Malformed;
        case Fill::Io: return ReadError::Io;
    }
    auto message = nlohmann::json::parse(body, nullptr, false);
    if (message.is_discarded() || !message.is_object()) return ReadError::Malformed;
    return message;
}

bool writeFrame(int fd, const nlohmann::json& message) {
    // No SIGPIPE for a peer that went away: the caller sees false instead.
    return writeFrame(
        [fd](const char* data, std::size_t size) { return ::send(fd, data, size, MSG_NOSIGNAL); },
        message);
}

bool writeFrame(const SendSome& send, const nlohmann::json& message) {
    // Program output may hold any bytes; what is not UTF-8 travels as replacement characters.
    const std::string body = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (body.size() > kMaxFrameBytes) return false;
    const auto n = static_cast<std::uint32_t>(body.size());
    // One write: a header sent alone would wake the reader, which then waits again for the body.
    std::string frame = {static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                         static_cast<char>(n >> 8), static_cast<char>(n)};
    frame += body;
    return sendAll(send, frame.data(), frame.size());
}

bool valuesMatch(const std::vector<TypeEncoding>& types, const nlohmann::json& values) {
    if (!values.is_array() || values.size() != types.size()) return false;
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (!valueMatches(types[i], values[i])) return false;
    }
    return true;
}

std::variant<CheckedCall, std::string> checkCall(const ProtocolDescription& protocol,
                                                 const nlohmann::json& message) {
    // Parsed text gives unsigned numbers, built values signed ones: both are fine when not
    // negative.
    const bool hasId = message.contains("id");
    const bool validId =
        hasId && message["id"].is_number_integer() && message["id"].get<std::int64_t>() >= 0;
    if (hasId && !validId) return std::string("a call without a valid id");
    if (!message.contains("selector") || !message["selector"].is_string()) {
        return std::string("a call without a selector");
    }
    CheckedCall call;
    if (validId) call.id = message["id"].get<std::uint64_t>();
    call.selector = message["selector"].get<std::string>();
    const auto* method = protocol.method(call.selector);
    if (!method) {
        return "the selector " + call.selector + " is not part of " + std::string(protocol.name);
    }
    auto signature = parseMethodEncoding(method->typeEncoding);
    if (!signature) return "the signature of " + call.selector + " cannot be read";
    if ((signature->replyArguments() != nullptr) != validId) {
        return validId ? "the one-way call " + call.selector + " carries an id"
                       : std::string("a call without a valid id");
    }
    std::vector<TypeEncoding> expected = signature->arguments;
    if (signature->replyArguments()) expected.pop_back();
    if (!message.contains("arguments") || !valuesMatch(expected, message["arguments"])) {
        return "the arguments of " + call.selector + " do not match its signature";
    }
    call.signature = std::move(*signature);
    return call;
}

}  // namespace platform::linux_impl::wire
