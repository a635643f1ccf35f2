// The writer's packing of long-play frames (25-byte codec blocks, 24-byte
// frames) and its encryption of the blocks it packs, as splitting and
// joining use them. Expected blocks are laid out by hand.
#include <gtest/gtest.h>

#include "dss/dss_file.h"
#include "dss/crypt.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;

namespace {

Bytes data_block(const Bytes& file, size_t headers, size_t n) {
    return stored(Bytes(file.begin() + static_cast<long>((headers + n) * 512),
                        file.begin() + static_cast<long>((headers + n + 1) * 512)));
}

}  // namespace

TEST(DssWritePacking, LongPlayFramesOf24BytesRunAcrossBlocks) {
    TempDir tmp;
    const std::string path = tmp.path("lp.dss");
    Bytes input;
    for (unsigned i = 0; i < 23; ++i) {
        Bytes c = codec_block(frame(i, 24), 25);
        c[24] = 0xEE;  // the padding byte is never stored
        input.insert(input.end(), c.begin(), c.end());
    }
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 2;
        ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false), 0u);
        dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
        dss.flush_out_block();
    }
    const Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 3u * 512u);
    // 21 frames fill offsets 6 to 509; frame 21 starts at 510 with 2 bytes
    // and goes on with 22 bytes at offset 6 of the next block, whose frame
    // pointer is then 28; frame 22 follows there.
    Bytes first = block(fp_word(6), 22, 2);
    for (unsigned i = 0; i < 21; ++i) place(first, 6 + 24 * i, frame(i, 24));
    place(first, 510, frame(21, 24), 0, 2);
    Bytes second = block(fp_word(28), 1, 2);
    place(second, 6, frame(21, 24), 2, 22);
    place(second, 28, frame(22, 24));
    EXPECT_EQ(data_block(file, 1, 0), first);
    EXPECT_EQ(data_block(file, 1, 1), second);
}

TEST(DssWritePacking, BlocksAreEncryptedWithTheWriteKey) {
    TempDir tmp;
    const std::string path = tmp.path("enc.ds2");
    const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Bytes input;
    for (unsigned i = 0; i < 14; ++i) {
        const Bytes c = codec_block(frame(i), 42);
        input.insert(input.end(), c.begin(), c.end());
    }
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 1;
        dss.m_byCompressionId = 0;
        ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false), 0u);
        EXPECT_FALSE(dss.SetWriteKey(key, 20)) << "only 16- or 32-byte keys";
        ASSERT_TRUE(dss.SetWriteKey(key, 16));
        dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
        dss.flush_out_block();
    }
    const Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 3u * 512u);

    // Block 1: 13 frame starts, frame 12 runs on into block 2.
    Bytes plain1 = block(fp_word(6), 13, 0);
    for (unsigned i = 0; i < 12; ++i) place(plain1, 6 + 41 * i, frame(i));
    place(plain1, 498, frame(12), 0, 14);
    Bytes stored1 = data_block(file, 1, 0);
    EXPECT_EQ(Bytes(stored1.begin(), stored1.begin() + 6), Bytes(plain1.begin(), plain1.begin() + 6))
        << "the block header stays plain";
    EXPECT_NE(stored1, plain1);
    ASSERT_TRUE(crypt_block(16, key, stored1.data(), false));
    EXPECT_EQ(stored1, plain1);

    // Block 2: used length 33 + 42 = 75, so bytes 502 to 511 are filled.
    Bytes plain2 = block(fp_word(33), 1, 0);
    place(plain2, 6, frame(12), 14, 27);
    place(plain2, 33, frame(13));
    Bytes stored2 = data_block(file, 1, 1);
    ASSERT_TRUE(crypt_block(16, key, stored2.data(), false));
    EXPECT_EQ(Bytes(stored2.begin(), stored2.begin() + 502), Bytes(plain2.begin(), plain2.begin() + 502));
    EXPECT_NE(Bytes(stored2.begin() + 502, stored2.end()), Bytes(10, 0)) << "random tail";
}
