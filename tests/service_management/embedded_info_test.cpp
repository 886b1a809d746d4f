// Reading the information dictionary embedded in an executable: the real helper as built, and
// copies of it broken in one way each.
#include "platform/linux/embedded_info.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/linux/plist_bundle.h"
#include "platform/testing/test_platform.h"
#include "tests/service_management/test_files.h"

namespace {

using platform::linux_impl::embeddedInfoDictionary;
using namespace service_management_test;

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

// The helper's bytes, with where its dictionary and that section's header lie in them.
struct Image {
    std::string bytes;
    std::size_t payload = 0;
    std::size_t payloadHeader = 0;
};

Image builtHelper() {
    Image image{readAll(ORVANE_HELPER_PROGRAM)};
    image.payload = image.bytes.find("<?xml");
    Elf64_Ehdr header;
    std::memcpy(&header, image.bytes.data(), sizeof header);
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        const std::size_t at = header.e_shoff + i * sizeof section;
        std::memcpy(&section, image.bytes.data() + at, sizeof section);
        if (section.sh_offset == image.payload) image.payloadHeader = at;
    }
    return image;
}

template <class T>
auto field(std::size_t offset, T value, bool inPayloadHeader = false) {
    return [=](Image i) {
        std::memcpy(i.bytes.data() + offset + (inPayloadHeader ? i.payloadHeader : 0), &value,
                    sizeof value);
        return i.bytes;
    };
}

TEST(EmbeddedInfoTest, ABrokenFileHasNoDictionary) {
    const Image helper = builtHelper();
    ASSERT_NE(helper.payloadHeader, 0u);
    const std::pair<const char*, std::function<std::string(Image)>> cases[] = {
        {"not ELF", [](Image) { return std::string("#!/bin/sh\necho hello\n"); }},
        {"truncated header", [](Image i) { return i.bytes.substr(0, 40); }},
        {"truncated section table", [](Image i) { return i.bytes.substr(0, i.bytes.size() - 10); }},
        {"32-bit", field<unsigned char>(EI_CLASS, ELFCLASS32)},
        {"section table offset overflows", field(offsetof(Elf64_Ehdr, e_shoff), ~Elf64_Off{0} - 8)},
        {"bad name table index", field<Elf64_Half>(offsetof(Elf64_Ehdr, e_shstrndx), 0xfeff)},
        {"huge section", field(offsetof(Elf64_Shdr, sh_size), Elf64_Xword{1} << 62, true)},
        {"no such section", field<Elf64_Word>(offsetof(Elf64_Shdr, sh_name), 0, true)},
        {"not a property list", [](Image i) { return i.bytes.replace(i.payload, 5, "<html"); }},
    };
    platform::testing::TempDir dir;
    for (const auto& [name, spoil] : cases) {
        writeAll(dir.path() / "tool", spoil(helper), 0755);
        EXPECT_FALSE(embeddedInfoDictionary(dir.path() / "tool").has_value()) << name;
    }
}

}  // namespace
