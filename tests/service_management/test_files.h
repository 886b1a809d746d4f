#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace service_management_test {

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeAll(const std::filesystem::path& path, const std::string& contents,
                     mode_t mode = 0644) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    ::chmod(path.c_str(), mode);
}

inline mode_t modeOf(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The fields of a /proc stat file after the process's name: its state first, its start time
// twentieth; none when it cannot be read.
inline std::vector<std::string> statFields(const std::filesystem::path& stat) {
    const std::string text = readAll(stat);
    const auto name = text.rfind(") ");
    std::istringstream fields(name == std::string::npos ? "" : text.substr(name + 2));
    return {std::istream_iterator<std::string>(fields), {}};
}

}  // namespace service_management_test
