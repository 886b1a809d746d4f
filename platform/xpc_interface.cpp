#include "platform/xpc_interface.h"

#include <cctype>

namespace platform {

namespace {

class EncodingParser {
public:
    explicit EncodingParser(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }

    std::optional<TypeEncoding> type() {
        if (atEnd()) return std::nullopt;
        const char c = text_[pos_++];
        TypeEncoding t;
        switch (c) {
            case 'v': t.kind = TypeEncoding::Kind::Void; return t;
            case ':': t.kind = TypeEncoding::Kind::Selector; return t;
            case '@': break;
            default: return std::nullopt;
        }
        if (peek('?')) {
            ++pos_;
            t.kind = TypeEncoding::Kind::Block;
            if (!peek('<')) return t;
            ++pos_;
            // <return, the block itself, arguments...>
            auto ret = type();
            auto self = type();
            if (!ret || !self || self->kind != TypeEncoding::Kind::Block) return std::nullopt;
            while (!peek('>')) {
                auto arg = type();
                if (!arg) return std::nullopt;
                t.blockArguments.push_back(std::move(*arg));
            }
            ++pos_;
            return t;
        }
        t.kind = TypeEncoding::Kind::Object;
        if (peek('"')) {
            const auto close = text_.find('"', pos_ + 1);
            if (close == std::string_view::npos || close == pos_ + 1) return std::nullopt;
            t.className = std::string(text_.substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
        }
        return t;
    }

    // The frame offset after a type in a method encoding.
    bool offset() {
        const auto start = pos_;
        while (!atEnd() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        return pos_ > start;
    }

private:
    bool peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

const std::vector<TypeEncoding>* MethodSignature::replyArguments() const {
    if (arguments.empty() || arguments.back().kind != TypeEncoding::Kind::Block) return nullptr;
    return &arguments.back().blockArguments;
}

std::optional<MethodSignature> parseMethodEncoding(std::string_view encoding) {
    EncodingParser parser(encoding);
    MethodSignature signature;
    auto ret = parser.type();
    if (!ret || !parser.offset()) return std::nullopt;
    signature.returnType = *ret;
    auto self = parser.type();
    if (!self || self->kind != TypeEncoding::Kind::Object || !parser.offset()) return std::nullopt;
    auto cmd = parser.type();
    if (!cmd || cmd->kind != TypeEncoding::Kind::Selector || !parser.offset()) return std::nullopt;
    while (!parser.atEnd()) {
        auto arg = parser.type();
        if (!arg || arg->kind == TypeEncoding::Kind::Void || !parser.offset()) return std::nullopt;
        signature.arguments.push_back(std::move(*arg));
    }
    return signature;
}

const MethodDescription* ProtocolDescription::method(std::string_view selector) const {
    for (const auto& m : methods) {
        if (m.selector == selector) return &m;
    }
    return nullptr;
}

}  // namespace platform
