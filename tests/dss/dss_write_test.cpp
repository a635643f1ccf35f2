// Writing DSS and DS2 files through CDssFile: fresh header blocks, codec
// blocks packed into data blocks, copied blocks, header rewrites and the
// closing length stamp, and the encryption of packed blocks as splitting
// and joining use it. Expected bytes are laid out by hand.
#include <gtest/gtest.h>

#include "dss/crypt.h"
#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using edit_test::part;
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

class DssWrite : public ::testing::Test {
protected:
    TempDir tmp;
    // A fresh file of `headers` header blocks and identifier `id`, `input`
    // handed over in one call and flushed; the file's bytes.
    Bytes write(const std::string& name, uint16_t headers, uint8_t id, const Bytes& input) {
        const std::string path = tmp.path(name);
        {
            CDssFile dss;
            dss.m_wNrOfHeaders = headers;
            dss.m_byCompressionId = id;
            EXPECT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
            if (!input.empty()) {
                dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
                dss.flush_out_block();
            }
        }
        return read_bytes(path);
    }
};

}  // namespace

TEST_F(DssWrite, FreshHeadersForEachHeaderCount) {
    for (uint8_t n : {1, 2, 3}) {
        for (const char* self_id : {"dss", "ds2"}) {
            const std::string name = "h" + std::to_string(n) + "." + self_id;
            SCOPED_TRACE(name);
            const Bytes file = write(name, n, 4, {});
            const Bytes all = concat({header1(n, self_id), header2(4), Bytes(512, 0xFF)});
            EXPECT_EQ(file, part(all, 0, 512u * n));
        }
    }
}

TEST_F(DssWrite, ThirteenFramesFillOneBlockAndPartTheLast) {
    const Bytes file = write("p.dss", 1, 0, codec_blocks(13));
    Bytes a = block(0x030F, 13, 0);
    for (unsigned i = 0; i < 12; ++i) place(a, 6 + 41 * i, frame(i));
    place(a, 498, frame(12), 0, 14);
    Bytes b = block(0x108F, 0, 0);
    place(b, 6, frame(12), 14, 27);
    EXPECT_EQ(file, concat({header1(1, "dss"), stored(a), stored(b)}));
    EXPECT_EQ(file[1024], 0x8F) << "frame-pointer word low byte first in the file";

    Bytes two = codec_blocks(3);
    two.resize(100);  // two codec blocks and 16 bytes: the rest is ignored
    Bytes c = block(0x030F, 2, 0);
    place(c, 6, frame(0));
    place(c, 47, frame(1));
    EXPECT_EQ(write("q.dss", 1, 0, two), concat({header1(1, "dss"), stored(c)}));
}

TEST_F(DssWrite, QualityPlayPacks56ByteFramesFrom57ByteBlocks) {
    const Bytes file = write("q.ds2", 2, 6, codec_blocks(10, 0, 56, 57));
    Bytes a = block(0x030F, 10, 6);
    for (unsigned i = 0; i < 9; ++i) place(a, 6 + 56 * i, frame(i, 56));
    place(a, 510, frame(9, 56), 0, 2);
    Bytes b = block(fp_word(6 + 54), 0, 6);
    place(b, 6, frame(9, 56), 2, 54);
    ASSERT_EQ(file.size(), 4u * 512);
    EXPECT_EQ(part(file, 1024, 2048), concat({stored(a), stored(b)}));
}

TEST_F(DssWrite, LongPlayFramesOf24BytesRunAcrossBlocks) {
    const Bytes file = write("lp.dss", 1, 2, codec_blocks(23, 0, 24, 25));
    // 21 frames fill offsets 6 to 509; frame 21 starts at 510 with 2 bytes
    // and goes on with 22 bytes at offset 6 of the next block, whose frame
    // pointer is then 28; frame 22 follows there.
    Bytes first = block(fp_word(6), 22, 2);
    for (unsigned i = 0; i < 21; ++i) place(first, 6 + 24 * i, frame(i, 24));
    place(first, 510, frame(21, 24), 0, 2);
    Bytes second = block(fp_word(28), 1, 2);
    place(second, 6, frame(21, 24), 2, 22);
    place(second, 28, frame(22, 24));
    EXPECT_EQ(file, concat({header1(1, "dss"), stored(first), stored(second)}));
}

TEST_F(DssWrite, BlocksAreEncryptedWithTheWriteKey) {
    const std::string path = tmp.path("enc.ds2");
    const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        EXPECT_FALSE(dss.SetWriteKey(key, 20)) << "only 16- or 32-byte keys";
        ASSERT_TRUE(dss.SetWriteKey(key, 16));
        dss.transfer_from_buffer_to_file(codec_blocks(14).data(), 14 * 42);
        dss.flush_out_block();
    }
    const Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 3u * 512u);
    // Block 1: 13 frame starts, frame 12 runs on into block 2.
    Bytes plain1 = block(fp_word(6), 13, 0);
    for (unsigned i = 0; i < 12; ++i) place(plain1, 6 + 41 * i, frame(i));
    place(plain1, 498, frame(12), 0, 14);
    Bytes stored1 = stored(part(file, 512, 1024));
    EXPECT_EQ(part(stored1, 0, 6), part(plain1, 0, 6)) << "the block header stays plain";
    EXPECT_NE(stored1, plain1);
    ASSERT_TRUE(crypt_block(16, key, stored1.data(), false));
    EXPECT_EQ(stored1, plain1);
    // Block 2: used length 33 + 42 = 75, so bytes 502 to 511 are filled.
    Bytes plain2 = block(fp_word(33), 1, 0);
    place(plain2, 6, frame(12), 14, 27);
    place(plain2, 33, frame(13));
    Bytes stored2 = stored(part(file, 1024, 1536));
    ASSERT_TRUE(crypt_block(16, key, stored2.data(), false));
    EXPECT_EQ(part(stored2, 0, 502), part(plain2, 0, 502));
    EXPECT_NE(part(stored2, 502, 512), Bytes(10, 0)) << "random tail";
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
    EXPECT_EQ(part(file, 42 * 512, 22016), stored(block(0x030F, 0, 0)));
    // The 41st data block ends with the end of frame 506.
    Bytes last_full = stored(part(file, 41 * 512, 21504));
    EXPECT_EQ(part(last_full, 512 - 41, 512), frame(505));
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
    for (int i = 3; i < 6; ++i) EXPECT_EQ(part(file, 512 * i, 512 * i + 512), stored(copied)) << i;
}

TEST_F(DssWrite, HeaderBlocksBeyondTheThirdAreLaidDownBeforeTheData) {
    const Bytes file = write("five.ds2", 5, 0, codec_blocks(2));
    ASSERT_EQ(file.size(), 6u * 512);
    EXPECT_EQ(part(file, 1536, 2560), Bytes(1024, 0xFF));
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
