// Writing DSS and DS2 files through CDssFile: fresh header blocks, codec
// blocks packed into data blocks, copied blocks and header rewrites.
// Expected bytes are laid out by hand.
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
