// Header images, markers and instruction tables of hand-laid DSS and DS2 files.
#include <cstring>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "metadata/header_transport.h"
#include "metadata/instruction_tables.h"
#include "metadata/spoken_instructions.h"
#include "support/test_support.h"

using namespace orvkt_test;
using namespace dss_test;
using namespace vkt::platform;

namespace {

// A stored data block of `frames` frames of the given compression id.
Bytes data_block(uint8_t frames, uint8_t compression_id) { return stored(block(0x030F, frames, compression_id)); }

using edit_test::marker_array;

// A licensee-3 file of `blocks` header blocks and four data blocks: of 8
// quality-play frames (id 6) in a DS2 file, of 10 long-play frames (id 2)
// in a DSS file; header 2 names the same id.
Bytes our_file(uint8_t blocks, const char* self_id = "ds2") {
    const bool pro = std::string(self_id) != "dss";
    Bytes headers = zrm2_image(512 * blocks, blocks, self_id);
    if (blocks >= 2) put16(headers, 528, pro ? 6 : 2);
    Bytes data;
    for (int i = 0; i < 4; ++i) data = concat({data, pro ? data_block(8, 6) : data_block(10, 2)});
    return concat({headers, data});
}

}  // namespace

TEST(DssHeaderImage, ForcedReadingOfATemporaryName) {
    TempDir tmp;
    const Bytes file = our_file(2);
    write_bytes(tmp.path("~memo.vkt"), file);
    Bytes image(1024);
    uint32_t len = 1024;
    ASSERT_EQ(ReadZRM2HeaderDataToMemoryEx(tmp.path("~memo.vkt").c_str(), image.data(), &len, true), 0u);
    EXPECT_EQ(len, 1024u);
    EXPECT_EQ(image, Bytes(file.begin(), file.begin() + 1024));
    image[600] = 0x42;
    ASSERT_EQ(WriteZRM2HeaderDataToFile(tmp.path("~memo.vkt").c_str(), image.data(), 1024, true), 0u);
    EXPECT_EQ(read_bytes(tmp.path("~memo.vkt"))[600], 0x42);
    write_bytes(tmp.path("~text.vkt"), Bytes(2048, 'x'));
    EXPECT_EQ(ReadZRM2HeaderDataToMemoryEx(tmp.path("~text.vkt").c_str(), image.data(), &len, true), 14u);
}

TEST(DssHeaderImage, SingleBlockFileReportsItsDataCompressionId) {
    TempDir tmp;
    Bytes file = concat({zrm2_image(512, 1, "dss"), data_block(10, 2), data_block(10, 2)});
    write_bytes(tmp.path("one.dss"), file);
    uint32_t cls = 0;
    ASSERT_EQ(ORVKTIsValidZRM2File(tmp.path("one.dss").c_str(), &cls), 0u);
    EXPECT_EQ(cls, 3u);
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("one.dss").c_str(), &info), 0u);
    EXPECT_EQ(info.wCompressionId, 2);
}

TEST(DssHeaderImage, OlympusFlagBytePosition) {
    TempDir tmp;
    for (const char* name : {"o.ds2", "o.dss"}) {
        const bool ds2 = std::string(name).find(".ds2") != std::string::npos;
        Bytes headers = zrm2_image(1024, 2, ds2 ? "ds2" : "dss", 2);
        headers[69] = 3;
        headers[ds2 ? 521 : 793] = 1;
        write_bytes(tmp.path(name), concat({headers, data_block(8, ds2 ? 6 : 2)}));
        Bytes image(1024);
        uint32_t len = 1024;
        ASSERT_EQ(ReadZRM2HeaderDataToMemory(tmp.path(name).c_str(), image.data(), &len), 0u) << name;
        EXPECT_EQ(len, 513u);
        EXPECT_EQ(image[512], 1) << name;
        ZRM2HeaderInfo info{};
        info.dwSize = ZRM2HEADERINFO_SIZE_SHORT;
        ASSERT_EQ(ORVKTReadZRM2Header(tmp.path(name).c_str(), &info), 0u);
        EXPECT_EQ(info.byH1Byte69, 8) << name;
        EXPECT_EQ(ORVKTWriteZRM2Header(tmp.path(name).c_str(), &info), 38u);
    }
}

TEST(DssMarkers, HeaderThreeRules) {
    TempDir tmp;
    const Bytes two = our_file(2);
    const Bytes m = marker_array({{100, 200}});
    write_bytes(tmp.path("two.ds2"), two);
    Bytes three_src = our_file(3);
    std::copy(m.begin(), m.end(), three_src.begin() + 1024);
    write_bytes(tmp.path("three_src.ds2"), three_src);
    uint8_t got[256];
    EXPECT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("two.ds2").c_str(), got), 26u);
    // No header 3: markers are refused, not dropped behind a success; an empty array loses nothing.
    EXPECT_EQ(ORVKTWriteSpokenInstructionMarkers(tmp.path("two.ds2").c_str(), m.data()), 26u);
    EXPECT_EQ(ORVKTExtractSpokenInstructionMarkers(tmp.path("three_src.ds2").c_str(), tmp.path("two.ds2").c_str()), 26u);
    EXPECT_EQ(ORVKTWriteSpokenInstructionMarkers(tmp.path("two.ds2").c_str(), Bytes(256, 0xFF).data()), 0u);
    EXPECT_EQ(read_bytes(tmp.path("two.ds2")), two) << "no header 3: nothing written";

    Bytes three = our_file(3);
    write_bytes(tmp.path("three.ds2"), three);
    ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(tmp.path("three.ds2").c_str(), m.data()), 0u);
    Bytes after = read_bytes(tmp.path("three.ds2"));
    EXPECT_EQ(Bytes(after.begin() + 1024, after.begin() + 1280), m);
    EXPECT_EQ(Bytes(after.begin() + 1280, after.begin() + 1536), Bytes(256, 0xFF));
    EXPECT_TRUE(std::equal(three.begin() + 1536, three.end(), after.begin() + 1536));
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("three.ds2").c_str(), got), 0u);
    EXPECT_EQ(Bytes(got, got + 256), m);

    // To and from a WAV file.
    EXPECT_EQ(ORVKTExtractSpokenInstructionMarkers(tmp.path("three.ds2").c_str(), tmp.path("m.wav").c_str()), 0u);
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(tmp.path("m.wav").c_str(), got), 0u);
    EXPECT_EQ(Bytes(got, got + 256), m);
}

TEST(OlympusInstructions, TableOutOfOrderGivesAscendingMarkers) {
    TempDir tmp;
    Bytes headers = zrm2_image(1536, 3, "ds2", 2);
    std::memset(headers.data() + 1024, 0xFF, 512);
    // 12-byte entries: u32 start block, u16 start frame, u32 end block, u16 end frame
    auto entry = [&](int i, uint32_t sb, uint16_t sf, uint32_t eb, uint16_t ef) {
        put32(headers, 1024 + 12 * i, sb);
        put16(headers, 1028 + 12 * i, sf);
        put32(headers, 1030 + 12 * i, eb);
        put16(headers, 1034 + 12 * i, ef);
    };
    entry(0, 2, 1, 3, 0);
    entry(1, 0, 2, 1, 3);
    entry(2, 4, 5, 4, 7);  // starts and ends in one block: no end
    Bytes data;
    for (int i = 0; i < 5; ++i) data = concat({data, data_block(8, 6)});
    write_bytes(tmp.path("o.ds2"), concat({headers, data}));
    CDssFile dss(false);
    ASSERT_EQ(dss.create_file(tmp.path("o.ds2").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false), 0u);
    Bytes markers(256, 0xFF);
    EXPECT_EQ(ConvertOlympusSpokenInstructions(dss, markers.data()), 0u);
    // 16 ms frames, 8 frames per block
    EXPECT_EQ(markers, marker_array({{(2 + 0) * 16, (3 + 8) * 16}, {(1 + 16) * 16, (0 + 24) * 16},
                                     {(5 + 32) * 16, 0xFFFFFFFF}}));
}

TEST(GrundigInstructions, StartsInHeader1AndLengthsInH2) {
    TempDir tmp;
    Bytes h1 = zrm2_image(512, 2, "dss", 1);
    std::memset(h1.data() + 86, 0xFF, 240);
    // 6-byte start: block 3 counted from the file start (data block 1), frame 2
    put32(h1, 134, 3);
    put16(h1, 138, 2);
    // 3-byte older form for the second: block 2 (data block 0), frame 4
    put16(h1, 86 + 3, 2);
    h1[88 + 3] = 4;
    Bytes h2(512, 0xFF);
    put_text(h2, 0, "GR/VL9607_000000");
    put16(h2, 226, 1);  // length: 1 block, 3 frames
    put16(h2, 228, 3);
    put16(h2, 230, 0);  // length: 0 blocks... same block: start only
    put16(h2, 232, 1);
    Bytes data;
    for (int i = 0; i < 4; ++i) data = concat({data, data_block(12, 0)});
    write_bytes(tmp.path("g.dss"), concat({h1, h2, data}));
    CDssFile dss(false);
    ASSERT_EQ(dss.create_file(tmp.path("g.dss").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false), 0u);
    Bytes markers(256, 0xFF);
    EXPECT_EQ(ConvertGrundigSpokenInstructions(dss, markers.data()), 0u);
    // entry 0: blocks 1..2, frames 2..5 of 24 ms, 12 frames per block
    // entry 1 starts in block 0 and ends there too: the walk is past it
    EXPECT_EQ(markers[0] | markers[1] << 8, (2 + 12) * 24);
    EXPECT_EQ(markers[4] | markers[5] << 8, (5 + 24) * 24);
}
