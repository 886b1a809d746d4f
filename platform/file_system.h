#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace platform {

// An error's description, readable by a person.
struct FileError {
    std::string description;
};

template <class T>
using FileResult = std::variant<T, FileError>;

enum class ItemKind { Nothing, Directory, Other };

// File operations whose durability matters; plain queries use std::filesystem.
class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;
    virtual FileResult<std::string> readFile(const std::filesystem::path& path) = 0;
    // Replaces the file in one step: a temporary file in the same folder is written, flushed to
    // disk, given the old file's mode and renamed over it. On failure the old file is unchanged.
    virtual std::optional<FileError> replaceFile(const std::filesystem::path& path,
                                                 const std::string& contents) = 0;
    // Copies bytes and mode; fails when the target exists.
    virtual std::optional<FileError> copyFileExclusive(const std::filesystem::path& from,
                                                       const std::filesystem::path& to) = 0;
    virtual std::optional<FileError> createDirectories(const std::filesystem::path& path) = 0;
    // Whether any entry is there, a dangling symbolic link included.
    virtual bool exists(const std::filesystem::path& path) = 0;
    // What a person would find there: a symbolic link is followed to its target, so a dangling
    // one is nothing and one to a folder is a folder.
    virtual ItemKind itemKind(const std::filesystem::path& path) = 0;
};

}  // namespace platform
