#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Interfaces of a connection as data: methods by selector with their type encodings, which the
// wire layer checks every message against before anything acts on it.
namespace platform {

// One type of a method signature in the platform's encoding.
struct TypeEncoding {
    enum class Kind { Void, Object, Selector, Block };
    Kind kind = Kind::Void;
    // For objects: the class named in the encoding ("NSString"), empty for a bare id.
    std::string className;
    // For blocks: the arguments the block is called with.
    std::vector<TypeEncoding> blockArguments;

    bool operator==(const TypeEncoding&) const = default;
};

struct MethodSignature {
    TypeEncoding returnType;
    // After the receiver and the selector.
    std::vector<TypeEncoding> arguments;

    // The reply block's arguments when the last argument is a block.
    const std::vector<TypeEncoding>* replyArguments() const;
};

// Parses a method's type encoding such as "v24@0:8@\"NSString\"16"; nullopt when malformed.
std::optional<MethodSignature> parseMethodEncoding(std::string_view encoding);

struct MethodDescription {
    std::string_view selector;
    std::string_view typeEncoding;
};

struct ProtocolDescription {
    std::string_view name;
    std::vector<MethodDescription> methods;

    // Null when the protocol has no such selector.
    const MethodDescription* method(std::string_view selector) const;
};

}  // namespace platform
