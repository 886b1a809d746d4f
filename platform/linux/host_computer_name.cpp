#include "platform/linux/host_computer_name.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <string_view>

namespace platform::linux_impl {
namespace {

// Undoes the quoting of one shell-style value: single quotes keep everything, double quotes
// and bare text take a backslash as an escape.
std::string unquote(std::string_view value) {
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                out += c;
        } else if (c == '\\' && i + 1 < value.size()) {
            out += value[++i];
        } else if (c == '"' || (c == '\'' && quote == 0)) {
            quote = quote == c ? '\0' : c;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> prettyHostName(const std::string& machineInfo) {
    std::istringstream lines(machineInfo);
    std::string line;
    std::optional<std::string> found;
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    while (std::getline(lines, line)) {
        if (std::string_view(line).starts_with(key)) found = unquote(line.substr(key.size()));
    }
    if (found && found->empty()) return std::nullopt;
    return found;
}

std::optional<std::string> HostComputerName::localizedName() const {
    std::ifstream file(machineInfo_);
    if (file) {
        std::stringstream contents;
        contents << file.rdbuf();
        if (auto pretty = prettyHostName(contents.str())) return pretty;
    }
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
    return std::string(name);
}

}  // namespace platform::linux_impl
