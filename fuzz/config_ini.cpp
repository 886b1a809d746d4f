// config.ini reading on arbitrary bytes, held against a second, plain reading of the same rules:
// lines end at "\n"; a line's leading "=" are skipped; the key runs to the next "=", the value
// is everything after it and must not be empty; both lose " \t\r\n" at their ends; first wins.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "service/config_parser.h"

namespace {

bool isTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmedCopy(const std::string& s) {
    std::size_t begin = 0, end = s.size();
    while (begin < end && isTrimmed(s[begin])) ++begin;
    while (end > begin && isTrimmed(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

std::optional<std::string> plainFind(std::string_view text, const std::string& name) {
    std::string line;
    auto consider = [&]() -> std::optional<std::string> {
        std::size_t i = 0;
        while (i < line.size() && line[i] == '=') ++i;
        std::string key, value;
        bool inValue = false;
        for (; i < line.size(); ++i) {
            if (!inValue && line[i] == '=') {
                inValue = true;
            } else if (inValue) {
                value += line[i];
            } else {
                key += line[i];
            }
        }
        if (!inValue || value.empty()) return std::nullopt;
        if (trimmedCopy(key) != name) return std::nullopt;
        return trimmedCopy(value);
    };
    for (char c : text) {
        if (c == '\n') {
            if (auto v = consider()) return v;
            line.clear();
        } else {
            line += c;
        }
    }
    return consider();
}

// Well-formed UTF-8 as a table of byte ranges, one sequence at a time.
bool plainUtf8(std::string_view s) {
    auto in = [](unsigned char c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; };
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = [&](std::size_t k) {
            return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u;
        };
        const unsigned char c = b(0);
        if (c <= 0x7F) {
            i += 1;
        } else if (in(c, 0xC2, 0xDF) && in(b(1), 0x80, 0xBF)) {
            i += 2;
        } else if (((c == 0xE0 && in(b(1), 0xA0, 0xBF)) ||
                    (in(c, 0xE1, 0xEC) && in(b(1), 0x80, 0xBF)) ||
                    (c == 0xED && in(b(1), 0x80, 0x9F)) ||
                    (in(c, 0xEE, 0xEF) && in(b(1), 0x80, 0xBF))) &&
                   in(b(2), 0x80, 0xBF)) {
            i += 3;
        } else if (((c == 0xF0 && in(b(1), 0x90, 0xBF)) ||
                    (in(c, 0xF1, 0xF3) && in(b(1), 0x80, 0xBF)) ||
                    (c == 0xF4 && in(b(1), 0x80, 0x8F))) &&
                   in(b(2), 0x80, 0xBF) && in(b(3), 0x80, 0xBF)) {
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

constexpr const char* kKeys[] = {"app-id", "auth-token", "storage-id", "orvane-url",
                                 "log-filename"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(config_parser::isValidUtf8(bytes) == plainUtf8(bytes));

    const std::string_view text = config_parser::skipByteOrderMark(bytes);
    check(text.size() == bytes.size() ||
          (text.size() + 3 == bytes.size() && bytes.starts_with("\xEF\xBB\xBF")));

    // An input may name its own key before a NUL; otherwise the keys the app asks for.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos && nul <= 32) {
        const std::string name(text.substr(0, nul));
        const auto body = text.substr(nul + 1);
        check(config_parser::findValue(body, name) == plainFind(body, name));
        return 0;
    }
    for (const char* key : kKeys)
        check(config_parser::findValue(text, key) == plainFind(text, key));
    return 0;
}
