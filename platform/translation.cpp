#include "platform/translation.h"

#include <algorithm>

#include "platform/registry.h"

namespace platform {

std::string translate(const char* context, const char* source) {
    const auto& translator = services().translator;
    return translator ? translator->translate(context, source) : std::string(source);
}

std::string fillPlaceholders(std::string_view text,
                             std::initializer_list<std::string_view> values) {
    std::string filled;
    filled.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(text[i + 1] - '1');
            if (index < values.size()) {
                filled += *(values.begin() + index);
                ++i;
                continue;
            }
        }
        filled += text[i];
    }
    return filled;
}

namespace {

// "de_DE.UTF-8@euro" -> "de_DE"; empty for C, POSIX and nothing.
std::string localeName(std::string value) {
    value = value.substr(0, value.find_first_of(".@"));
    return value == "C" || value == "POSIX" ? std::string() : value;
}

}  // namespace

std::vector<std::string> sessionLanguages(
    const std::function<const char*(const char*)>& environment) {
    const auto set = [&](const char* name) {
        const char* value = environment(name);
        return std::string(value ? value : "");
    };
    std::string locale = set("LC_ALL");
    if (locale.empty()) locale = set("LC_MESSAGES");
    if (locale.empty()) locale = set("LANG");
    locale = localeName(locale);
    if (locale.empty()) return {};
    std::vector<std::string> asked;
    const std::string list = set("LANGUAGE");
    for (std::size_t start = 0; start <= list.size();) {
        const auto end = std::min(list.find(':', start), list.size());
        if (auto name = localeName(list.substr(start, end - start)); !name.empty())
            asked.push_back(name);
        start = end + 1;
    }
    if (asked.empty()) asked.push_back(locale);
    std::vector<std::string> languages;
    const auto add = [&](const std::string& name) {
        if (std::find(languages.begin(), languages.end(), name) == languages.end())
            languages.push_back(name);
    };
    for (const auto& name : asked) {
        add(name);
        if (const auto underscore = name.find('_'); underscore != std::string::npos)
            add(name.substr(0, underscore));
    }
    return languages;
}

}  // namespace platform
