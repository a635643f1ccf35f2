#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/path.h"

using namespace vkt::platform;

TEST(PathSplit, DirectoryNameAndExtension) {
    auto p = split_path("/data/in/Dict.01.DS2");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "/data/in/");
    EXPECT_EQ(p.fname, "Dict.01");
    EXPECT_EQ(p.ext, ".DS2");
    EXPECT_EQ(join_path(p), "/data/in/Dict.01.DS2");

    auto q = split_path("noext");
    EXPECT_EQ(q.dir, "");
    EXPECT_EQ(q.fname, "noext");
    EXPECT_EQ(q.ext, "");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(extension_of("/a.b/file"), "");
    EXPECT_EQ(extension_of(".hidden"), ".hidden");
}

TEST(PathSplit, ExtensionComparisonIgnoresCaseOverTheGivenLength) {
    EXPECT_TRUE(extension_starts_with(".DsS", ".dss", 4));
    EXPECT_TRUE(extension_starts_with(".ds2x", ".ds2", 4)) << "four characters are compared";
    EXPECT_FALSE(extension_starts_with(".ds", ".dss", 4));
    EXPECT_FALSE(extension_starts_with(".wav", ".dss", 4));
    EXPECT_EQ(combine_path("/tmp", "a"), "/tmp/a");
    EXPECT_EQ(combine_path("/tmp/", "a"), "/tmp/a");
}

TEST(CodePage, OemAndAnsiUmlautsAndAsciiPassThrough) {
    // CP850: 0x81 u-umlaut, 0x84 a-umlaut, 0x8E A-umlaut, 0xE1 sharp s.
    const char oem[] = {'A', 'b', '\x81', '\x84', '\x8E', '\xE1', 0};
    char ansi[7] = {};
    oem_to_ansi(oem, ansi, 7);
    EXPECT_EQ(static_cast<unsigned char>(ansi[0]), 'A');
    EXPECT_EQ(static_cast<unsigned char>(ansi[2]), 0xFC);
    EXPECT_EQ(static_cast<unsigned char>(ansi[3]), 0xE4);
    EXPECT_EQ(static_cast<unsigned char>(ansi[4]), 0xC4);
    EXPECT_EQ(static_cast<unsigned char>(ansi[5]), 0xDF);
    EXPECT_EQ(ansi[6], 0);
    char back[7] = {};
    ansi_to_oem(ansi, back, 7);
    EXPECT_EQ(std::string(back, 7), std::string(oem, 7));
}
