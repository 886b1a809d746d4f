#include "platform/outside_text.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// The length of the UTF-8 character that `text` starts with; 0 when it starts with none.
std::size_t utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the second byte's range, narrower after some leads
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;  // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
    }
    return length;
}

// The next character of `text` as it is shown, and how many bytes of `text` it took.
std::pair<std::string, std::size_t> nextPiece(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = utf8Length(text);
    if (length == 0) return {{'\\', 'x', kHex[lead >> 4], kHex[lead & 0xf]}, 1};
    if (length == 1) {
        switch (lead) {
            case '\n': return {"\\n", 1};
            case '\r': return {"\\r", 1};
            case '\t': return {"\\t", 1};
            default:
                if (lead < 0x20 || lead == 0x7f) {
                    return {{'\\', 'x', kHex[lead >> 4], kHex[lead & 0xf]}, 1};
                }
                return {std::string(1, text[0]), 1};
        }
    }
    const auto second = static_cast<unsigned char>(text[1]);
    if (lead == 0xc2 && second <= 0x9f) {
        return {{'\\', 'u', '0', '0', kHex[second >> 4], kHex[second & 0xf]}, 2};
    }
    return {std::string(text.substr(0, length)), length};
}

}  // namespace

std::string escapedText(std::string_view text, std::size_t limit) {
    std::string shown;
    shown.reserve(std::min(text.size(), limit));
    std::size_t used = 0;
    while (used < text.size()) {
        auto [piece, length] = nextPiece(text.substr(used));
        if (limit != std::string_view::npos && shown.size() + piece.size() > limit) {
            return shown + " [" + std::to_string(text.size() - used) + " more bytes left out]";
        }
        shown += piece;
        used += length;
    }
    return shown;
}

bool needsEscaping(std::string_view text) { return escapedText(text) != text; }

std::string withoutUserInfo(std::string_view url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) return std::string(url);
    const auto hostStart = schemeEnd + 3;
    const auto authority = url.substr(hostStart, url.find_first_of("/?#", hostStart) - hostStart);
    const auto at = authority.rfind('@');
    if (at == std::string_view::npos) return std::string(url);
    return std::string(url.substr(0, hostStart)) + std::string(url.substr(hostStart + at + 1));
}

}  // namespace platform
