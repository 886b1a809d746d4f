#include "platform/linux/embedded_info.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/linux/plist_bundle.h"
#include "platform/linux/posix_io.h"

namespace platform::linux_impl {
namespace {

// Far more than any information dictionary or section table we expect; the file is untrusted
// and these bound what one bad header can make us allocate.
constexpr std::uint64_t kMaxSectionSize = 1 << 20;
constexpr std::uint64_t kMaxSectionTableSize = 4 << 20;

// Fields are decoded byte by byte, so the result does not depend on the host's byte order.
template <class T>
T little(const std::vector<unsigned char>& bytes, std::size_t offset) {
    T value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        value = static_cast<T>((value << 8) | bytes[offset + i]);
    return value;
}

#define ELF_FIELD(record, bytes, base, field) \
    little<decltype(record::field)>(bytes, (base) + offsetof(record, field))

// The file's bytes in [offset, offset + size), which must lie inside a file of `fileSize`.
std::optional<std::vector<unsigned char>> readRange(int fd, std::uint64_t fileSize,
                                                    std::uint64_t offset, std::uint64_t size) {
    if (offset > fileSize || size > fileSize - offset) return std::nullopt;
    std::vector<unsigned char> bytes(size);
    std::uint64_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;  // shrank under us, or failed
        done += static_cast<std::uint64_t>(n);
    }
    return bytes;
}

struct Section {
    std::uint32_t name;
    std::uint32_t type;
    std::uint64_t offset;
    std::uint64_t size;
    std::uint32_t link;
};

}  // namespace

std::optional<std::map<std::string, std::string>> embeddedInfoDictionary(
    const std::filesystem::path& executable) {
    Fd fd(
        ::open(executable.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));  // a FIFO must not block us
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);

    const auto header = readRange(fd.get(), fileSize, 0, sizeof(Elf64_Ehdr));
    if (!header) return std::nullopt;
    const auto& h = *header;
    if (std::memcmp(h.data(), ELFMAG, SELFMAG) != 0 || h[EI_CLASS] != ELFCLASS64 ||
        h[EI_DATA] != ELFDATA2LSB) {
        return std::nullopt;
    }
    const auto tableOffset = ELF_FIELD(Elf64_Ehdr, h, 0, e_shoff);
    const std::uint64_t entrySize = ELF_FIELD(Elf64_Ehdr, h, 0, e_shentsize);
    std::uint64_t count = ELF_FIELD(Elf64_Ehdr, h, 0, e_shnum);
    std::uint64_t namesIndex = ELF_FIELD(Elf64_Ehdr, h, 0, e_shstrndx);
    if (tableOffset == 0 || entrySize < sizeof(Elf64_Shdr)) return std::nullopt;

    auto sectionAt = [&](const std::vector<unsigned char>& table, std::uint64_t index) {
        const std::size_t base = static_cast<std::size_t>(index * entrySize);
        return Section{ELF_FIELD(Elf64_Shdr, table, base, sh_name),
                       ELF_FIELD(Elf64_Shdr, table, base, sh_type),
                       ELF_FIELD(Elf64_Shdr, table, base, sh_offset),
                       ELF_FIELD(Elf64_Shdr, table, base, sh_size),
                       ELF_FIELD(Elf64_Shdr, table, base, sh_link)};
    };
    // With many sections the real count and name-table index live in the first section header.
    if (count == 0 || namesIndex == SHN_XINDEX) {
        const auto first = readRange(fd.get(), fileSize, tableOffset, entrySize);
        if (!first) return std::nullopt;
        const Section zero = sectionAt(*first, 0);
        if (count == 0) count = zero.size;
        if (namesIndex == SHN_XINDEX) namesIndex = zero.link;
    }
    if (count == 0 || count > kMaxSectionTableSize / entrySize || namesIndex >= count) {
        return std::nullopt;
    }
    const auto table = readRange(fd.get(), fileSize, tableOffset, count * entrySize);
    if (!table) return std::nullopt;

    const Section names = sectionAt(*table, namesIndex);
    if (names.type != SHT_STRTAB || names.size > kMaxSectionSize) return std::nullopt;
    const auto nameBytes = readRange(fd.get(), fileSize, names.offset, names.size);
    if (!nameBytes) return std::nullopt;
    const std::string_view nameTable(reinterpret_cast<const char*>(nameBytes->data()),
                                     nameBytes->size());

    for (std::uint64_t i = 0; i < count; ++i) {
        const Section section = sectionAt(*table, i);
        if (section.name >= nameTable.size()) continue;
        const auto end = nameTable.find('\0', section.name);
        if (end == std::string_view::npos) continue;
        if (nameTable.substr(section.name, end - section.name) != kInfoPlistSection) continue;
        if (section.type == SHT_NOBITS || section.size > kMaxSectionSize) return std::nullopt;
        const auto bytes = readRange(fd.get(), fileSize, section.offset, section.size);
        if (!bytes) return std::nullopt;
        // The array's terminating NUL and any padding after it are not part of the text.
        std::string xml(bytes->begin(), bytes->end());
        xml.resize(std::strlen(xml.c_str()));
        auto strings = parsePlistStrings(xml);
        if (strings.empty()) return std::nullopt;
        return strings;
    }
    return std::nullopt;
}

}  // namespace platform::linux_impl
