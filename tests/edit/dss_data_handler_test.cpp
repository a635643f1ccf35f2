// The corrupt-block filter of verified copies, on hand-built stored blocks.
#include "edit/dss_data_handler.h"

#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace vkt::platform;
using namespace orvkt_test;

namespace {

// A data block as stored (pair-swapped), its frame bytes all `fill`.
std::vector<uint8_t> stored_block(uint16_t word, uint8_t count, uint8_t id, uint8_t fill) {
    auto b = dss_test::block(word, count, id);
    std::fill(b.begin() + 6, b.end(), fill);
    return dss_test::stored(b);
}

std::vector<uint8_t> header(const char* self_id, uint8_t blocks) {
    auto h = dss_test::header1(blocks, self_id);
    h.resize(512 * blocks, 0xFF);
    return h;
}

class FilterTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string out_name = tmp.path("out.dss");
    UniqueFile out;
    DSSDataHandler handler{true};

    void SetUp() override {
        uint32_t err = 0;
        out.reset(file_open(out_name.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0, &err));
        ASSERT_TRUE(out);
    }
    // Feeds the stream in chunks of the given size; returns what reached the file.
    std::vector<uint8_t> run(const std::vector<uint8_t>& stream, size_t chunk = 16384) {
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            uint32_t n = static_cast<uint32_t>(std::min(chunk, stream.size() - pos));
            uint32_t written = 0;
            EXPECT_NE(handler.WriteWithoutCorrBlocks(out.get(), stream.data() + pos, n, &written), 0);
        }
        File* f = out.release();
        file_close(f);
        return read_bytes(out_name);
    }
};

}  // namespace

TEST_F(FilterTest, PlausibleDssStreamIsCopiedByteForByte) {
    auto s = dss_test::concat({header("dss", 2),
                               stored_block(0x030F, 13, 0, 0x11),    // 13 frames from offset 6: 539 < 553
                               stored_block(0x108F, 12, 0, 0x22),    // continuation of 27 bytes, offset 33
                               stored_block(0x0007, 0, 0, 0x33)});  // word /16 == 0: offset from byte 3 (0xFF -> 0xFFF/8)
    s[512 * 4 + 2] = 0xFF;                          // count 0xFF and 0xFF at byte 5: no frames
    EXPECT_EQ(run(s), s);
    EXPECT_FALSE(handler.CorruptBlockSeen());
}

TEST_F(FilterTest, Ds2StreamPassesUnchangedWhateverItsBlocks) {
    // 14 frames would be dropped in a DSS stream.
    const auto s = dss_test::concat({header("ds2", 1), stored_block(0x030F, 14, 6, 0x44)});
    EXPECT_EQ(run(s), s);
    EXPECT_TRUE(handler.PassThrough());
    EXPECT_FALSE(handler.CorruptBlockSeen());
}

TEST_F(FilterTest, ImplausibleBlocksAreDroppedAndTheRestKept) {
    xkrvlog::Capture capture;
    auto good1 = stored_block(0x030F, 5, 0, 0x01);
    auto too_many = stored_block(0x030F, 14, 0, 0x02);
    auto bad_id = stored_block(0x030F, 3, 6, 0x03);
    auto bad_pointer = stored_block(20 * 128 + 15, 13, 0, 0x04);  // 13*41 + 20 = 553
    auto good2 = stored_block(0x030F, 5, 4, 0x05);
    auto second_count = stored_block(0x030F, 0, 0, 0x06);
    second_count[5] = 14;  // count byte 0: the second count byte says 14
    const auto s = dss_test::concat({header("dss", 1), good1, too_many, bad_id, bad_pointer, second_count, good2});
    EXPECT_EQ(run(s), dss_test::concat({header("dss", 1), good1, good2}));
    EXPECT_TRUE(handler.CorruptBlockSeen());
    EXPECT_TRUE(capture.contains_error(14, "Corrupt block: Invalid number of frames"));
    EXPECT_TRUE(capture.contains_error(18, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p"));
    EXPECT_TRUE(capture.contains_error(20, "Corrupt block: Invalid Framepointer"));
    EXPECT_TRUE(capture.contains(" ... ignoring block pos:"));
}

TEST_F(FilterTest, HeaderBlocksReachingIntoTheNextChunkAreNotChecked) {
    auto s = header("dss", 3);
    // Header blocks 2 and 3 look like corrupt data blocks; a 512-byte chunk
    // size makes them arrive in later calls.
    s[512 + 2] = 200;
    s[1024 + 4] = 7;
    s = dss_test::concat({s, stored_block(0x030F, 1, 0, 0x31)});
    EXPECT_EQ(run(s, 512), s);
    EXPECT_FALSE(handler.CorruptBlockSeen());
}
