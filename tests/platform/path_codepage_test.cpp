// The text fields of dictation headers are OEM (CP850), callers see ANSI.
#include <gtest/gtest.h>

#include "platform/codepage.h"

using namespace vkt::platform;

TEST(CodePage, OemAndAnsiUmlautsAndAsciiPassThrough) {
    // CP850: 0x81 u-umlaut, 0x84 a-umlaut, 0x8E A-umlaut, 0xE1 sharp s.
    const char oem[] = {'A', 'b', '\x81', '\x84', '\x8E', '\xE1', 0};
    const char ansi[] = {'A', 'b', '\xFC', '\xE4', '\xC4', '\xDF', 0};
    char out[7] = {};
    oem_to_ansi(oem, out, 7);
    EXPECT_EQ(std::string(out, 7), std::string(ansi, 7));
    ansi_to_oem(ansi, out, 7);
    EXPECT_EQ(std::string(out, 7), std::string(oem, 7));
}
