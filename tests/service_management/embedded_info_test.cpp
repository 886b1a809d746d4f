// Reading the information dictionary embedded in an executable, from the real helper and from
// small hand-made ELF files that are broken in one way each.
#include "platform/linux/embedded_info.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/linux/plist_bundle.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

namespace fs = std::filesystem;
using platform::linux_impl::embeddedInfoDictionary;
using namespace service_management_test;

constexpr char kPlist[] =
    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
    "<key>CFBundleIdentifier</key><string>com.example.tool</string></dict></plist>";

// A minimal ELF64 file: header, the payload section, the name table, then the section table
// (null, payload, names) at the very end.
struct ElfImage {
    std::string bytes;
    std::size_t tableOffset = 0;
    std::size_t payloadHeader = 0;  // where the payload's section header starts
};

ElfImage buildElf(const std::string& sectionName, const std::string& payload) {
    const std::string names = std::string(1, '\0') + sectionName + '\0' + ".shstrtab" + '\0';
    ElfImage image;
    image.bytes.assign(sizeof(Elf64_Ehdr), '\0');
    const std::size_t payloadOffset = image.bytes.size();
    image.bytes += payload;
    image.bytes += '\0';
    const std::size_t namesOffset = image.bytes.size();
    image.bytes += names;
    image.bytes.resize((image.bytes.size() + 7) & ~std::size_t{7}, '\0');
    image.tableOffset = image.bytes.size();

    Elf64_Shdr sections[3]{};
    sections[1].sh_name = 1;
    sections[1].sh_type = SHT_PROGBITS;
    sections[1].sh_offset = payloadOffset;
    sections[1].sh_size = payload.size() + 1;
    sections[2].sh_name = static_cast<Elf64_Word>(1 + sectionName.size() + 1);
    sections[2].sh_type = SHT_STRTAB;
    sections[2].sh_offset = namesOffset;
    sections[2].sh_size = names.size();
    image.payloadHeader = image.tableOffset + sizeof(Elf64_Shdr);
    image.bytes.append(reinterpret_cast<const char*>(sections), sizeof sections);

    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_X86_64;
    header.e_version = EV_CURRENT;
    header.e_ehsize = sizeof(Elf64_Ehdr);
    header.e_shoff = image.tableOffset;
    header.e_shentsize = sizeof(Elf64_Shdr);
    header.e_shnum = 3;
    header.e_shstrndx = 2;
    std::memcpy(image.bytes.data(), &header, sizeof header);
    return image;
}

template <class T>
void patch(std::string& bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

TEST(EmbeddedInfoTest, TheBuiltHelperCarriesItsIdentityAndTheProjectVersion) {
    const auto info = embeddedInfoDictionary(ORVANE_HELPER_PROGRAM);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->at("CFBundleIdentifier"), "com.velmora.QorPrivilegedHelper");
    EXPECT_EQ(info->at("CFBundleShortVersionString"), ORVANE_PROJECT_VERSION);
    EXPECT_EQ(info->at("CFBundleVersion"), ORVANE_PROJECT_VERSION);
    // The bundle answers through the same reader.
    const platform::linux_impl::PlistBundle bundle("/nonexistent/App.app");
    EXPECT_EQ(bundle.infoDictionaryForURL(ORVANE_HELPER_PROGRAM), info);
}

// Each file starts as a well-formed image with the dictionary and is then spoilt in one way.
struct FileCase {
    const char* name;
    std::function<std::string(ElfImage)> spoil;
    bool readable;
};
void PrintTo(const FileCase& c, std::ostream* out) {
    *out << c.name;
}

class EmbeddedInfoFileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(EmbeddedInfoFileTest, AnswersOnlyForAWellFormedSection) {
    platform::testing::TempDir dir;
    const fs::path file = dir.path() / "tool";
    writeAll(file, GetParam().spoil(buildElf(".info_plist", kPlist)), 0755);
    const auto info = embeddedInfoDictionary(file);
    if (GetParam().readable) {
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(info->at("CFBundleIdentifier"), "com.example.tool");
    } else {
        EXPECT_FALSE(info.has_value());
    }
}

std::string unchanged(ElfImage image) {
    return image.bytes;
}
auto replacedBy(std::string bytes) {
    return [bytes](ElfImage) { return bytes; };
}
auto cutTo(long size) {  // a negative size drops that many bytes from the end
    return
        [size](ElfImage i) { return i.bytes.substr(0, size >= 0 ? size : i.bytes.size() + size); };
}
template <class T>
auto fileHeaderField(std::size_t field, T value) {
    return [=](ElfImage i) {
        patch(i.bytes, field, value);
        return i.bytes;
    };
}
template <class T>
auto payloadHeaderField(std::size_t field, T value) {
    return [=](ElfImage i) {
        patch(i.bytes, i.payloadHeader + field, value);
        return i.bytes;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Files, EmbeddedInfoFileTest,
    ::testing::Values(
        FileCase{"WellFormed", unchanged, true},
        FileCase{"NotElf", replacedBy("#!/bin/sh\necho hello\n"), false},
        FileCase{"Empty", replacedBy(""), false}, FileCase{"TruncatedHeader", cutTo(40), false},
        FileCase{"TruncatedSectionTable", cutTo(-10), false},
        FileCase{"ThirtyTwoBit", fileHeaderField<unsigned char>(EI_CLASS, ELFCLASS32), false},
        FileCase{"SectionTableOffsetOverflows",
                 fileHeaderField(offsetof(Elf64_Ehdr, e_shoff), ~Elf64_Off{0} - 8), false},
        FileCase{"BadNameTableIndex",
                 fileHeaderField<Elf64_Half>(offsetof(Elf64_Ehdr, e_shstrndx), 7), false},
        FileCase{"SectionOffsetPastTheEnd",
                 payloadHeaderField<Elf64_Off>(offsetof(Elf64_Shdr, sh_offset), 1 << 20), false},
        FileCase{"HugeSection",
                 payloadHeaderField(offsetof(Elf64_Shdr, sh_size), Elf64_Xword{1} << 62), false},
        FileCase{"NoSuchSection", [](ElfImage) { return buildElf(".rodata", kPlist).bytes; },
                 false},
        FileCase{"NotAPropertyList",
                 [](ElfImage) { return buildElf(".info_plist", "<html/>").bytes; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
