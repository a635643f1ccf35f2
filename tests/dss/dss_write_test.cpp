// Writing DSS and DS2 files through CDssFile: fresh header blocks, codec
// blocks packed into data blocks, copied blocks, header rewrites and the
// closing length stamp. Expected bytes are laid out by hand.
#include <gtest/gtest.h>

#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

constexpr uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;

// n codec blocks of 42 bytes whose 41-byte frames are frame(first + i).
Bytes codec_blocks(unsigned n, unsigned first = 0, size_t frame_size = 41, size_t block_size = 42) {
    Bytes out;
    for (unsigned i = 0; i < n; ++i) {
        Bytes c = codec_block(frame(first + i, frame_size), block_size);
        c[block_size - 1] = 0xEE;  // the padding byte is never stored
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

class DssWrite : public ::testing::Test {
protected:
    TempDir tmp;
};

}  // namespace

TEST_F(DssWrite, FreshHeadersForEachHeaderCount) {
    for (uint16_t n : {1, 2, 3}) {
        for (const char* ext : {".dss", ".ds2"}) {
            std::string path = tmp.path("h" + std::to_string(n) + ext);
            {
                CDssFile dss;
                dss.m_wNrOfHeaders = n;
                dss.m_byCompressionId = 4;
                ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, false), 0u);
            }
            Bytes file = read_bytes(path);
            ASSERT_EQ(file.size(), 512u * n) << path;
            const bool pro = std::string(ext) == ".ds2";
            // Header block 1, field by field.
            Bytes h1(512, 0xFF);
            h1[0] = static_cast<uint8_t>(n);
            put_text(h1, 1, pro ? "ds2" : "dss");
            put16(h1, 4, pro ? 2 : 1);
            put16(h1, 6, pro ? 3 : 1);
            put32(h1, 8, 3);
            for (int i = 12; i < 32; ++i) h1[i] = 0;
            h1[32] = n < 2 ? 0xFD : 0xFE;
            h1[33] = 0xFF;
            h1[34] = 0xFE;
            h1[35] = 0xFF;
            h1[36] = 0xF7;
            h1[37] = 0xFF;
            put_text(h1, 38, "000000000000");
            put_text(h1, 62, "000000");
            h1[69] = 0;
            EXPECT_EQ(slice(file, 0, 512), h1) << path;
            if (n >= 2) {
                Bytes h2(512, 0);
                h2[0] = 1;
                h2[16] = 4;
                for (int i = 424; i < 504; ++i) h2[i] = 0xFF;
                EXPECT_EQ(slice(file, 512, 512), h2) << path;
            }
            if (n >= 3) {
                EXPECT_EQ(slice(file, 1024, 512), Bytes(512, 0xFF));
            }
        }
    }
}

TEST_F(DssWrite, ThirteenFramesFillOneBlockAndPartTheLast) {
    std::string path = tmp.path("p.dss");
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        dss.transfer_from_buffer_to_file(codec_blocks(13).data(), 13 * 42);
        dss.flush_out_block();
    }
    Bytes a = block(0x030F, 13, 0);
    for (unsigned i = 0; i < 12; ++i) place(a, 6 + 41 * i, frame(i));
    place(a, 498, frame(12), 0, 14);
    Bytes b = block(0x108F, 0, 0);
    place(b, 6, frame(12), 14, 27);
    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 3u * 512);
    EXPECT_EQ(slice(file, 512, 512), stored(a));
    EXPECT_EQ(slice(file, 1024, 512), stored(b));
    EXPECT_EQ(file[1024], 0x8F) << "frame-pointer word low byte first in the file";
    EXPECT_EQ(file[1025], 0x10);
}

TEST_F(DssWrite, BytesBehindTheLastWholeCodecBlockAreIgnored) {
    std::string path = tmp.path("q.dss");
    Bytes input = codec_blocks(3);
    input.resize(100);  // two codec blocks and 16 bytes
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
        dss.flush_out_block();
    }
    Bytes a = block(0x030F, 2, 0);
    place(a, 6, frame(0));
    place(a, 47, frame(1));
    EXPECT_EQ(read_bytes(path), concat({header1(1, "dss"), stored(a)}));
}

TEST_F(DssWrite, QualityPlayPacks56ByteFramesFrom57ByteBlocks) {
    std::string path = tmp.path("q.ds2");
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 2;
        dss.m_byCompressionId = 6;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        dss.transfer_from_buffer_to_file(codec_blocks(10, 0, 56, 57).data(), 10 * 57);
        dss.flush_out_block();
    }
    Bytes a = block(0x030F, 10, 6);
    for (unsigned i = 0; i < 9; ++i) place(a, 6 + 56 * i, frame(i, 56));
    place(a, 510, frame(9, 56), 0, 2);
    Bytes b = block(fp_word(6 + 54), 0, 6);
    place(b, 6, frame(9, 56), 2, 54);
    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 4u * 512);
    EXPECT_EQ(slice(file, 1024, 512), stored(a));
    EXPECT_EQ(slice(file, 1536, 512), stored(b));
}

TEST_F(DssWrite, FinalFlushAfterAnExactBoundaryAddsAnEmptyBlock) {
    // 41 blocks of 506 bytes hold exactly 506 frames of 41 bytes.
    std::string path = tmp.path("e.dss");
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        Bytes input = codec_blocks(506);
        // Handed over in uneven pieces: packing state carries across calls.
        dss.transfer_from_buffer_to_file(input.data(), 42 * 100);
        dss.transfer_from_buffer_to_file(input.data() + 42 * 100, 42 * 406);
        dss.flush_out_block();
        EXPECT_EQ(dss.closing_work(), 0u);
        EXPECT_EQ(dss.m_dwTotalNrOfFrames, 506u);
    }
    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 43u * 512);
    EXPECT_EQ(slice(file, 42 * 512, 512), stored(block(0x030F, 0, 0)));
    // The 41st data block ends with the end of frame 506.
    Bytes last_full = stored(slice(file, 41 * 512, 512));
    EXPECT_EQ(slice(last_full, 512 - 41, 41), frame(505));
}

TEST_F(DssWrite, ClosingWorkStampsTheLengthOf150000Frames) {
    std::string path = tmp.path("long.dss");
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 2;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        Bytes input = codec_blocks(1000);
        for (int i = 0; i < 150; ++i) dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
        dss.flush_out_block();
        xkrvlog::Capture capture;
        EXPECT_EQ(dss.closing_work(), 0u);
        EXPECT_TRUE(capture.contains("closing_work:write_fileheader(2)"));
    }
    Bytes file = read_bytes(path);
    EXPECT_EQ(std::string(file.begin() + 62, file.begin() + 68), "010000");
    EXPECT_EQ(get32(file, 512 + 18), 3600000u);
}

TEST_F(DssWrite, ClosingWorkTimeTextAndOneHeaderFile) {
    // 3 731 frames of identifier 4 last 134 316 ms: 00:02:14; one header block,
    // so no header 2 is written and the data follows at 512.
    std::string path = tmp.path("one.dss");
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 4;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        Bytes input = codec_blocks(3731);
        dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
        dss.flush_out_block();
        xkrvlog::Capture capture;
        EXPECT_EQ(dss.closing_work(), 0u);
        EXPECT_TRUE(capture.contains("closing_work:no header #2"));
    }
    Bytes file = read_bytes(path);
    EXPECT_EQ(get16(file, 32), 0xFFFD);
    EXPECT_EQ(std::string(file.begin() + 62, file.begin() + 68), "000214");
    EXPECT_EQ(file[512 + 1], 0x03) << "a data block, not a header, follows header 1";
    EXPECT_EQ(file[512 + 4], 4);
}

TEST_F(DssWrite, CopiedBlocksAndHeaderRewrites) {
    std::string path = tmp.path("c.ds2");
    Bytes copied = block(0x030F, 1, 6);
    place(copied, 6, frame(3, 56));
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 3;
        dss.m_byCompressionId = 6;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        std::memcpy(dss.m_pDssDataBlock.get(), copied.data(), 512);
        EXPECT_EQ(dss.write_datablock(), 0u);
        EXPECT_EQ(Bytes(dss.m_pDssDataBlock.get(), dss.m_pDssDataBlock.get() + 512), stored(copied))
            << "the buffer is left in file order";
        std::memcpy(dss.m_pDssDataBlock.get(), copied.data(), 512);
        dss.write_datablock();
        dss.m_pDssFileHeader_2[100] = 0x42;
        EXPECT_EQ(dss.write_fileheader(2), 0u);
        std::memcpy(dss.m_pDssDataBlock.get(), copied.data(), 512);
        dss.write_datablock();  // appended after the rewrite, not over block 2
        EXPECT_EQ(dss.write_fileheader(4), 15u);
    }
    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 6u * 512);
    EXPECT_EQ(file[512 + 100], 0x42);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(slice(file, 512 * i, 512), stored(copied)) << i;
}

TEST_F(DssWrite, HeaderBlocksBeyondTheThirdAreLaidDownBeforeTheData) {
    std::string path = tmp.path("five.ds2");
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 5;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        dss.transfer_from_buffer_to_file(codec_blocks(2).data(), 84);
        dss.flush_out_block();
    }
    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 6u * 512);
    EXPECT_EQ(slice(file, 1536, 1024), Bytes(1024, 0xFF));
    EXPECT_EQ(file[5 * 512 + 2], 2) << "frame count (stored at 2) of the data block at N × 512";
}

TEST_F(DssWrite, WrongExtensionIsRefusedAndTheFileKept) {
    std::string path = tmp.path("keep.wav");
    write_bytes(path, {1, 2, 3});
    xkrvlog::Capture capture;
    CDssFile dss;
    dss.m_wNrOfHeaders = 1;
    EXPECT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 14u);
    EXPECT_TRUE(capture.contains_error(14, "invalid file extension in create file"));
    EXPECT_EQ(read_bytes(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(dss.create_file(tmp.path("no/such/dir.dss").c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 14u);
}

TEST_F(DssWrite, WrittenFileReadsBackFrameForFrame) {
    std::string path = tmp.path("r.ds2");
    const unsigned frames = 777;
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 2;
        dss.m_byCompressionId = 4;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        Bytes input = codec_blocks(frames, 5);
        for (unsigned i = 0; i < frames; ++i) dss.transfer_from_buffer_to_file(input.data() + 42 * i, 42);
        dss.flush_out_block();
        dss.closing_work();
    }
    CDssFile dss;
    ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 0u);
    EXPECT_EQ(dss.m_byCompressionId, 4);
    EXPECT_EQ(dss.m_dwTotalNrOfFrames, frames);
    EXPECT_EQ(get32(Bytes(dss.m_pDssFileHeader_2.get(), dss.m_pDssFileHeader_2.get() + 512), 18), frames * 36);
    uint8_t buffer[DSS_MAX_CODEC_BLOCK];
    uint32_t size = 0, frame_bytes = 0;
    uint8_t id = 0;
    for (unsigned i = 0; i < frames; ++i) {
        ASSERT_EQ(dss.transfer_from_file_to_buffer(buffer, &size, &frame_bytes, &id), 0u) << i;
        ASSERT_EQ(Bytes(buffer, buffer + size), codec_block(frame(5 + i), 42)) << i;
    }
    EXPECT_EQ(dss.transfer_from_file_to_buffer(buffer, &size, &frame_bytes, &id), 1u);
}
