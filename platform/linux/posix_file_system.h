#pragma once

#include "platform/file_system.h"

namespace platform::linux_impl {

class PosixFileSystem : public FileSystem {
public:
    FileResult<std::string> readFile(const std::filesystem::path& path) override;
    std::optional<FileError> replaceFile(const std::filesystem::path& path,
                                         const std::string& contents) override;
    std::optional<FileError> copyFileExclusive(const std::filesystem::path& from,
                                               const std::filesystem::path& to) override;
    std::optional<FileError> createDirectories(const std::filesystem::path& path) override;
    bool exists(const std::filesystem::path& path) override;
    ItemKind itemKind(const std::filesystem::path& path) override;
};

}  // namespace platform::linux_impl
